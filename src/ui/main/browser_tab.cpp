#include "ui/main/browser_tab.h"

#include "core/app/error_page.h"
#include "core/app/zoom_levels.h"
#include "core/passwords/site_origin.h"
#include "ui/app/accessible.h"

namespace nuve::ui {

BrowserTab::BrowserTab(Id id, EngineProfile& profile, int page_timeout_ms)
    : BrowserTab(id, std::make_unique<WebPage>(profile, page_timeout_ms), profile) {}

BrowserTab::BrowserTab(Id id, EngineProfile& profile, WebKitWebView* parent, int page_timeout_ms)
    : BrowserTab(id, std::make_unique<WebPage>(profile, parent, page_timeout_ms), profile) {}

BrowserTab::BrowserTab(Id id, std::unique_ptr<WebPage> page, EngineProfile& profile)
    : id_(id), page_(std::move(page)) {
  Build();
  passwords_ = std::make_unique<PagePasswords>(*page_, profile, overlay_);
  Wire();
  // A page made before the tab (a ready start page) already shows what it
  // shows; the header and the zoom level catch up.
  if (page_->state() != PageState::kEmpty) {
    UpdateHeaderTitle();
    header_.SetFavicon(page_->Favicon());
    header_.SetLoading(page_->IsLoading());
    OnZoomChanged();
  }
}

BrowserTab::~BrowserTab() {
  // The tab strip has taken the container out of the notebook; the view
  // leaves the container before the page drops the last reference.
  passwords_.reset();
  find_bar_.reset();
  overlay_.unset_child();
  page_.reset();
}

void BrowserTab::Build() {
  overlay_.set_child(page_->widget());
  overlay_.set_hexpand(true);
  overlay_.set_vexpand(true);
  // The bar that offers to continue past a failing certificate, hidden
  // unless this tab shows that problem.
  tls_bar_.set_name("tls-bar");
  tls_bar_.add_css_class("toolbar");
  tls_message_.set_hexpand(true);
  tls_message_.set_xalign(0);
  tls_message_.set_wrap(true);
  tls_continue_.set_name("tls-continue");
  tls_continue_.add_css_class("destructive-action");
  tls_continue_.signal_clicked().connect([this] { page_->ContinueInsecurely(); });
  tls_bar_.append(tls_message_);
  tls_bar_.append(tls_continue_);
  tls_bar_.set_visible(false);
  root_.append(tls_bar_);
  root_.append(password_bar_);
  // The zoom level, over the page's top right corner; a click resets it.
  zoom_button_.set_name("zoom-level");
  zoom_button_.add_css_class("osd");
  zoom_button_.set_halign(Gtk::Align::END);
  zoom_button_.set_valign(Gtk::Align::START);
  zoom_button_.set_margin(8);
  zoom_button_.set_tooltip_text("恢复默认大小 (Ctrl+0)");
  zoom_button_.set_focus_on_click(false);
  zoom_button_.set_visible(false);
  zoom_button_.signal_clicked().connect([this] { page_->ResetZoom(); });
  overlay_.add_overlay(zoom_button_);
  find_bar_ = std::make_unique<FindBar>(page_->view());
  blocked_page_.set_name("error-page");
  blocked_page_.add_css_class("view");
  blocked_page_.set_hexpand(true);
  blocked_page_.set_vexpand(true);
  blocked_heading_.add_css_class("title-1");
  blocked_heading_.set_xalign(0);
  blocked_message_.set_xalign(0);
  blocked_message_.set_wrap(true);
  blocked_message_.set_selectable(true);
  auto* column = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 12);
  column->set_margin(48);
  column->append(blocked_heading_);
  column->append(blocked_message_);
  blocked_page_.append(*column);
  blocked_page_.set_visible(false);
  overlay_.add_overlay(blocked_page_);
  root_.append(overlay_);
  root_.append(*find_bar_);
}

// The header and the container follow the page. The page lives as long as
// the tab, so these slots never outlive what they touch.
void BrowserTab::Wire() {
  WebPage& page = *page_;
  page.signal_title_changed().connect(sigc::mem_fun(*this, &BrowserTab::UpdateHeaderTitle));
  page.signal_uri_changed().connect(sigc::mem_fun(*this, &BrowserTab::UpdateHeaderTitle));
  page.signal_favicon_changed().connect([this] { header_.SetFavicon(page_->Favicon()); });
  page.signal_load_state_changed().connect([this] {
    const bool loading = page_->IsLoading();
    // The site icon is read again when a load ends: it goes on each navigation.
    if (!loading) header_.SetFavicon(page_->Favicon());
    header_.SetLoading(loading);
  });
  page.signal_audio_changed().connect([this] { header_.SetAudio(page_->IsPlayingAudio(), page_->IsMuted()); });
  header_.signal_mute_clicked().connect(sigc::mem_fun(*this, &BrowserTab::ToggleMuted));
  page.signal_state_changed().connect(sigc::mem_fun(*this, &BrowserTab::OnStateChanged));
  page.signal_zoom_changed().connect(sigc::mem_fun(*this, &BrowserTab::OnZoomChanged));
  passwords_->signal_offer_changed().connect(sigc::mem_fun(*this, &BrowserTab::OnPasswordOfferChanged));
  password_bar_.save_button().signal_clicked().connect([this] { passwords_->SaveOffer(); });
  password_bar_.never_button().signal_clicked().connect([this] { passwords_->NeverSaveOffer(); });
  password_bar_.close_button().signal_clicked().connect([this] { passwords_->DismissOffer(); });
}

void BrowserTab::ToggleMuted() { page_->SetMuted(!page_->IsMuted()); }

void BrowserTab::UpdateHeaderTitle() { header_.SetTitle(page_->Title(), page_->Uri()); }

void BrowserTab::OnStateChanged() {
  const PageState state = page_->state();
  tls_bar_.set_visible(state == PageState::kTlsRefusal);
  const bool blocked = state == PageState::kBlockedPort;
  if (blocked) {
    blocked_message_.set_text(core::LoadProblemText(core::LoadProblem::kBlockedPort, "") + "\n" + page_->Uri());
  }
  if (blocked != blocked_page_.get_visible()) {
    blocked_page_.set_visible(blocked);
    UpdateHeaderTitle();
  }
}

void BrowserTab::OnPasswordOfferChanged() {
  const auto& offer = passwords_->offer();
  if (offer) {
    password_bar_.Ask(core::SiteHostOf(offer->origin));
  } else {
    password_bar_.set_visible(false);
  }
}

void BrowserTab::OnZoomChanged() {
  const double level = page_->ZoomLevel();
  const std::string text = core::ZoomText(level);
  zoom_button_.set_label(text);
  SetAccessibleLabel(zoom_button_, "缩放 " + text);
  zoom_button_.set_visible(!core::IsDefaultZoom(level));
}

}  // namespace nuve::ui
