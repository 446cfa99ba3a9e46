#include "ui/passwords/page_passwords.h"

#include <algorithm>
#include <cmath>

#include "core/app/log.h"
#include "core/passwords/site_origin.h"
#include "core/passwords/site_passwords.h"
#include "ui/app/ui_host.h"
#include "ui/engine/engine_profile.h"
#include "ui/main/web_page.h"
#include "ui/passwords/secret_store_texts.h"
#include "ui/passwords/username_chooser.h"

namespace nuve::ui {
namespace {

// Every message of the extension is named so; anything else is not ours.
constexpr std::string_view kMessagePrefix = "nuve.";

}  // namespace

PagePasswords::PagePasswords(WebPage& page, EngineProfile& profile, Gtk::Widget& over_view)
    : page_(page), profile_(profile), over_view_(over_view) {
  page_.set_message_handler([this](WebKitUserMessage* message) { return OnMessage(message); });
  connections_.push_back(page_.signal_page_committed().connect(sigc::mem_fun(*this, &PagePasswords::OnPageChanged)));
  // Our own error pages have no forms, and a sign-in reported before one
  // belongs to no page on screen.
  connections_.push_back(page_.signal_state_changed().connect([this] {
    if (page_.ShowingErrorPage()) OnPageChanged();
  }));
  // The list of usernames goes as soon as the user does anything else in
  // the page; Down moves into it instead, as in a completion list.
  auto keys = Gtk::EventControllerKey::create();
  keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  keys->signal_key_pressed().connect(
      [this](guint keyval, guint, Gdk::ModifierType) {
        if (chooser_ == nullptr || !chooser_->get_visible()) return false;
        if (keyval == GDK_KEY_Down) {
          chooser_->FocusFirst();
          return true;
        }
        HideChooser();
        return keyval == GDK_KEY_Escape;
      },
      false);
  page_.widget().add_controller(keys);
  auto clicks = Gtk::GestureClick::create();
  clicks->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  clicks->signal_pressed().connect([this](int, double, double) { HideChooser(); });
  page_.widget().add_controller(clicks);
  // It points at the field where it was: scrolling or hiding the page
  // would leave it pointing at nothing.
  auto scrolls = Gtk::EventControllerScroll::create();
  scrolls->set_flags(Gtk::EventControllerScroll::Flags::BOTH_AXES);
  scrolls->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  scrolls->signal_scroll().connect(
      [this](double, double) {
        HideChooser();
        return false;
      },
      false);
  page_.widget().add_controller(scrolls);
  connections_.push_back(page_.widget().signal_unmap().connect([this] { HideChooser(); }));
}

PagePasswords::~PagePasswords() {
  page_.set_message_handler({});
  for (auto& c : connections_) c.disconnect();
  if (chooser_ != nullptr) chooser_->unparent();
}

core::SitePasswords* PagePasswords::Passwords() const {
  // The view's own session decides too: a view made on a private
  // session is private whichever profile made it.
  WebKitNetworkSession* session = webkit_web_view_get_network_session(page_.view());
  if (session == nullptr || webkit_network_session_is_ephemeral(session)) return nullptr;
  return profile_.site_passwords();
}

Gtk::Window* PagePasswords::ParentWindow() { return dynamic_cast<Gtk::Window*>(over_view_.get_root()); }

bool PagePasswords::OnMessage(WebKitUserMessage* message) {
  const char* raw_name = webkit_user_message_get_name(message);
  const std::string_view name = raw_name != nullptr ? raw_name : "";
  if (!name.starts_with(kMessagePrefix)) return false;
  ++messages_taken_;
  const std::optional<core::PageFormMessage> read =
      core::ReadPageFormMessage(name, webkit_user_message_get_parameters(message));
  if (!read) {
    core::LogWarning("site passwords", "dropped a malformed message " + std::string(name.substr(0, 64)));
    return true;
  }
  // No store, a private view, or a page without a site: nothing to do.
  if (Passwords() == nullptr || origin_.empty()) return true;
  if (const auto* found = std::get_if<core::SignInFormFound>(&*read)) {
    OnFormFound(*found);
  } else if (const auto* focused = std::get_if<core::SignInFieldFocused>(&*read)) {
    OnFieldFocused(*focused);
  } else if (const auto* submitted = std::get_if<core::SignInSubmitted>(&*read)) {
    OnSubmitted(*submitted);
  }
  return true;
}

void PagePasswords::OnPageChanged() {
  page_scope_.Renew();
  HideChooser();
  origin_ = page_.ShowingErrorPage() ? std::string() : core::SiteOriginOf(page_.Uri());
  lookup_ = Lookup::kNotYet;
  accounts_.clear();
  forms_.clear();
  focus_.reset();
}

void PagePasswords::OnFormFound(const core::SignInFormFound& found) {
  // A page can have many forms; a few sign-in forms are all anyone needs.
  constexpr std::size_t kMaxForms = 50;
  if (forms_.size() >= kMaxForms || std::find(forms_.begin(), forms_.end(), found.form) != forms_.end()) return;
  forms_.push_back(found.form);
  if (lookup_ == Lookup::kDone) {
    if (accounts_.size() == 1) Fill(found.form, accounts_.front());
    return;
  }
  if (lookup_ == Lookup::kRunning) return;
  lookup_ = Lookup::kRunning;
  Passwords()->FindForFill(origin_, page_scope_, [this](core::SiteAccounts found_accounts) {
    OnAccountsFound(std::move(found_accounts));
  });
}

void PagePasswords::OnAccountsFound(core::SiteAccounts found) {
  lookup_ = Lookup::kDone;
  accounts_.clear();
  for (auto& account : found.accounts) {
    if (core::MayFillOn(account.origin, origin_)) accounts_.push_back(std::move(account));
  }
  if (accounts_.size() == 1) {
    for (const std::uint32_t form : forms_) Fill(form, accounts_.front());
  }
  if (focus_ && accounts_.size() > 1) ShowChooser(*focus_);
  focus_.reset();
}

void PagePasswords::OnFieldFocused(const core::SignInFieldFocused& focused) {
  if (std::find(forms_.begin(), forms_.end(), focused.form) == forms_.end()) return;
  if (lookup_ != Lookup::kDone) {
    focus_ = focused;
    return;
  }
  if (!accounts_.empty()) ShowChooser(focused);
}

void PagePasswords::OnSubmitted(const core::SignInSubmitted& submitted) {
  core::SitePasswords* passwords = Passwords();
  if (!passwords->MayOfferToSave(origin_)) return;
  core::SiteAccount account{origin_, submitted.username, submitted.password};
  if (offer_ && offer_->origin == account.origin && offer_->username == account.username &&
      offer_->password == account.password) {
    return;
  }
  // The check outlives the page: the sign-in itself goes on to the next one.
  passwords->CheckSubmitted(account, scope_, [this, account](bool offer) {
    if (offer) SetOffer(account);
  });
}

void PagePasswords::Fill(std::uint32_t form, const core::SiteAccount& account) {
  GVariant* parameters = core::FillSignInParameters({form, origin_, account.username, account.password});
  if (parameters == nullptr) return;
  // The extension fills only while its top page is still of origin_.
  webkit_web_view_send_message_to_page(page_.view(), webkit_user_message_new(core::kFillSignIn, parameters), nullptr,
                                       nullptr, nullptr);
}

void PagePasswords::ShowChooser(const core::SignInFieldFocused& focused) {
  if (chooser_ == nullptr) {
    chooser_ = std::make_unique<UsernameChooser>();
    chooser_->set_parent(over_view_);
    chooser_->signal_chosen().connect([this](std::size_t index) {
      const std::uint32_t form = chooser_form_;
      HideChooser();
      if (index < accounts_.size()) Fill(form, accounts_[index]);
      page_.Focus();
    });
  }
  std::vector<std::string> usernames;
  for (const auto& account : accounts_) usernames.push_back(account.username);
  chooser_->SetUsernames(usernames);
  chooser_form_ = focused.form;
  // The field's place is in CSS pixels of the viewport; the view shows
  // them at its zoom level. Kept inside the view whatever the page says.
  const double zoom = page_.ZoomLevel();
  const double width = std::max(1, over_view_.get_width());
  const double height = std::max(1, over_view_.get_height());
  const double x = std::clamp(focused.x * zoom, 0.0, width - 1);
  const double y = std::clamp(focused.y * zoom, 0.0, height - 1);
  const double w = std::clamp(focused.width * zoom, 1.0, width - x);
  const double h = std::clamp(focused.height * zoom, 1.0, height - y);
  chooser_->set_pointing_to(Gdk::Rectangle(static_cast<int>(x), static_cast<int>(y), static_cast<int>(std::ceil(w)),
                                           static_cast<int>(std::ceil(h))));
  // The list never takes the keyboard from the page: typing into the
  // field goes on.
  const bool page_had_focus = page_.widget().has_focus();
  chooser_->popup();
  if (page_had_focus) page_.Focus();
}

void PagePasswords::HideChooser() {
  if (chooser_ != nullptr && chooser_->get_visible()) chooser_->popdown();
}

void PagePasswords::SetOffer(std::optional<core::SiteAccount> offer) {
  offer_ = std::move(offer);
  offer_changed_.emit();
}

void PagePasswords::SaveOffer() {
  if (!offer_) return;
  core::SitePasswords* passwords = Passwords();
  core::SiteAccount account = std::move(*offer_);
  SetOffer(std::nullopt);
  if (passwords == nullptr) return;
  passwords->Save(std::move(account), scope_, [this](core::SecretStoreProblem problem) {
    if (problem == core::SecretStoreProblem::kNone) return;
    profile_.ui_host().Error(ParentWindow(), SecretStoreProblemText("密码未保存", problem));
  });
}

void PagePasswords::NeverSaveOffer() {
  if (!offer_) return;
  const std::string origin = offer_->origin;
  SetOffer(std::nullopt);
  if (core::SitePasswords* passwords = Passwords()) {
    if (const core::Status s = passwords->never_save().Add(origin); !s.ok()) {
      core::LogWarning("site passwords", s.error().detail);
      profile_.ui_host().Error(ParentWindow(), "无法保存设置：" + s.error().detail);
    }
  }
}

void PagePasswords::DismissOffer() { SetOffer(std::nullopt); }

}  // namespace nuve::ui
