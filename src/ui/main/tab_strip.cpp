#include "ui/main/tab_strip.h"

#include <algorithm>

#include "core/app/address.h"
#include "core/app/log.h"
#include "ui/app/app_context.h"

namespace nuve::ui {

TabStrip::TabStrip(AppContext& context) : context_(context) {
  set_name("高级选择夹1");
  set_scrollable(true);
  set_hexpand(true);
  set_vexpand(true);
  AddTab(std::make_unique<BrowserTab>(context_.network_session(), context_.web_settings(),
                                      context_.config().page_timeout_ms));
  append_page(new_tab_page_, new_tab_label_);
  new_tab_label_.set_tooltip_text("新建选项卡 (Ctrl+T)");

  // Runs after the switch, so get_current_page() already names the new tab.
  switch_page_connection_ = signal_switch_page().connect(sigc::mem_fun(*this, &TabStrip::OnSwitchPage), true);

  // A double-click on the strip closes the current tab. The capture phase is
  // needed: in the bubble phase a double-click on another tab arrives as two
  // single clicks, because the tab switch resets the gesture.
  double_click_ = Gtk::GestureClick::create();
  double_click_->set_button(GDK_BUTTON_PRIMARY);
  double_click_->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  double_click_->signal_pressed().connect(sigc::mem_fun(*this, &TabStrip::OnPressed));
  add_controller(double_click_);
}

TabStrip::~TabStrip() {
  // switch-page also fires while pages are removed during teardown.
  switch_page_connection_.disconnect();
  for (auto& tab : tabs_) remove_page(tab->page());
  tabs_.clear();
}

BrowserTab& TabStrip::CurrentTab() {
  const int index = get_current_page();
  if (index >= 0 && index < BrowsingTabCount()) return TabAt(index);
  return FirstTab();
}

BrowserTab& TabStrip::AddTab(std::unique_ptr<BrowserTab> tab) {
  BrowserTab& added = *tab;
  // Always just before the new-tab tab, which stays last.
  int position = page_num(new_tab_page_);
  if (position < 0) position = get_n_pages();
  insert_page(added.page(), added.header(), position);
  tabs_.insert(tabs_.begin() + position, std::move(tab));
  WireTab(added);
  return added;
}

void TabStrip::WireTab(BrowserTab& tab) {
  BrowserTab* t = &tab;
  tab.signal_title_changed().connect([this, t] {
    if (IsCurrent(*t)) title_changed_.emit(*t);
  });
  tab.signal_uri_changed().connect([this, t] {
    if (IsCurrent(*t)) uri_changed_.emit(*t);
  });
  tab.signal_status_text().connect([this](const std::string& text) { status_text_.emit(text); });
  tab.signal_close_requested().connect([this, t] {
    // Never destroy a tab inside its own signal: close it once the signal is over.
    Glib::signal_idle().connect_once([this, t] {
      if (IndexOf(*t) >= 0) CloseTab(*t);
    });
  });
  tab.set_create_handler([this](BrowserTab& parent) { return OnCreateRequested(parent); });
}

int TabStrip::IndexOf(const BrowserTab& tab) const {
  const auto it = std::find_if(tabs_.begin(), tabs_.end(), [&](const auto& p) { return p.get() == &tab; });
  return it == tabs_.end() ? -1 : static_cast<int>(it - tabs_.begin());
}

bool TabStrip::IsCurrent(const BrowserTab& tab) const { return IndexOf(tab) == get_current_page(); }

void TabStrip::SelectTab(int index) {
  if (index == page_num(new_tab_page_)) {
    OpenNewTab();
  } else if (index >= 0 && index < BrowsingTabCount()) {
    if (index == get_current_page()) {
      current_changed_.emit(TabAt(index));  // nothing switches: send the state anyway
    } else {
      set_current_page(index);
    }
  }
}

void TabStrip::CloseCurrentTab() {
  const int index = get_current_page();
  if (index <= 0 || index >= BrowsingTabCount()) return;
  CloseTab(TabAt(index));
}

void TabStrip::CloseTab(BrowserTab& tab) {
  const int index = IndexOf(tab);
  if (index <= 0) return;  // the first tab is never closed
  // Select the left neighbour first: removing the current tab next to the
  // new-tab tab would otherwise select that one and open a tab.
  if (index == get_current_page()) set_current_page(index - 1);
  remove_page(tab.page());
  tabs_.erase(tabs_.begin() + index);
}

BrowserTab& TabStrip::OpenTab(const std::string& address) {
  BrowserTab& tab = AddTab(std::make_unique<BrowserTab>(
      context_.network_session(), context_.web_settings(), context_.config().page_timeout_ms));
  tab.Load(core::NormaliseAddress(address));
  set_current_page(IndexOf(tab));
  return tab;
}

BrowserTab& TabStrip::OpenNewTab() { return OpenTab(context_.config().portal_a); }

WebKitWebView* TabStrip::OnCreateRequested(BrowserTab& parent) {
  // WebKit loads the requested address into the view we hand back.
  BrowserTab& tab = AddTab(std::make_unique<BrowserTab>(parent.view(), context_.config().page_timeout_ms));
  set_current_page(IndexOf(tab));
  return tab.view();
}

void TabStrip::OnSwitchPage(Gtk::Widget*, guint index) {
  if (static_cast<int>(index) == page_num(new_tab_page_)) {
    if (replacing_new_tab_page_) return;
    // Chosen by the user: a new tab takes the new-tab tab's place. Deferred,
    // because inserting pages inside switch-page re-enters it.
    replacing_new_tab_page_ = true;
    Glib::signal_idle().connect_once([this] {
      replacing_new_tab_page_ = false;
      if (get_current_page() == page_num(new_tab_page_)) OpenNewTab();
    });
    return;
  }
  for (size_t i = 0; i < tabs_.size(); ++i) {
    // The close button stands on the current tab; the first tab has none.
    tabs_[i]->SetCloseButtonVisible(i != 0 && static_cast<int>(i) == static_cast<int>(index));
  }
  if (static_cast<int>(index) < BrowsingTabCount()) current_changed_.emit(TabAt(static_cast<int>(index)));
}

void TabStrip::OnPressed(int n_press, double x, double y) {
  if (n_press != 2) return;
  // Only the header row counts, not a double-click inside the page.
  Gtk::Widget* picked = pick(x, y);
  Gtk::Widget* page = get_nth_page(get_current_page());
  for (Gtk::Widget* w = picked; w != nullptr; w = w->get_parent()) {
    if (w == page) return;
    if (w == this) break;
  }
  CloseCurrentTab();
}

}  // namespace nuve::ui
