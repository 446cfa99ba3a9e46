#include "ui/account/account_windows.h"

#include <memory>

#include "core/account/service_address.h"
#include "core/sync/sync_texts.h"
#include "ui/account/change_password_window.h"
#include "ui/account/feedback_window.h"
#include "ui/account/login_window.h"
#include "ui/account/personal_centre_window.h"
#include "ui/account/recover_password_window.h"
#include "ui/account/register_window.h"
#include "ui/app/app_context.h"
#include "ui/app/ui_host.h"
#include "ui/favourites/sync_status_row.h"

namespace nuve::ui {

AccountWindows::AccountWindows(AppContext& context)
    : context_(context),
      alerts_shown_(context.favourites_sync().status().alert_serial),
      sync_status_(context.favourites_sync().Subscribe([this] { OnSyncStatus(); })) {}

AccountWindows::~AccountWindows() { *alive_ = false; }

// What the sync cannot leave to the personal centre: a state that fails
// authentication is told, a key that cannot be read asks whether to start
// afresh with this machine's favourites.
void AccountWindows::OnSyncStatus() {
  const core::SyncStatus status = context_.favourites_sync().status();
  if (status.alert_serial == alerts_shown_) return;
  alerts_shown_ = status.alert_serial;
  const std::string text = core::SyncAlertText(status.last_result);
  if (text.empty()) return;
  if (status.state != core::SyncStatus::State::kDecision) {
    context_.ui_host().Error(owner_, text);
    return;
  }
  context_.ui_host().Confirm(owner_, text, [this, alive = alive_](bool fresh) {
    if (!*alive) return;
    if (fresh) {
      context_.favourites_sync().StartFresh();
    } else {
      context_.favourites_sync().DeclineFreshStart();
    }
  });
}

bool AccountWindows::SendsInClear() const {
  return core::ServiceAddress(context_.config().service_host).SendsInClear();
}

void AccountWindows::OpenLogin(Gtk::Window* parent) {
  auto window = std::make_unique<LoginWindow>(context_.tasks(), context_.login_account(), context_.login_state(),
                                              context_.remembered_login(), context_.ui_host(), SendsInClear());
  LoginWindow* raw = window.get();
  if (parent != nullptr) owner_ = parent;
  raw->signal_logged_in().connect([this](const std::string& account, const std::string& password) {
    context_.favourites_sync().LogIn(account, password);
  });
  // The links live as long as the login window that emits them.
  raw->signal_register_requested().connect([this, raw] { OpenRegister(raw); });
  raw->signal_recover_requested().connect([this, raw] { OpenRecoverPassword(raw); });
  context_.ui_host().ShowModal(std::move(window), parent);
}

void AccountWindows::OpenRegister(Gtk::Window* parent) {
  context_.ui_host().ShowModal(std::make_unique<RegisterWindow>(context_.tasks(), context_.register_account(),
                                                                context_.ui_host(), SendsInClear()),
                               parent);
}

void AccountWindows::OpenRecoverPassword(Gtk::Window* parent) {
  context_.ui_host().ShowModal(
      std::make_unique<RecoverPasswordWindow>(context_.tasks(), context_.recover_account(), context_.ui_host(),
                                              context_.config().recovery_contact),
      parent);
}

void AccountWindows::OpenPersonalCentre(Gtk::Window* parent) {
  auto window = std::make_unique<PersonalCentreWindow>(context_.tasks(), context_.profile_account(),
                                                       context_.login_state(), context_.current_user(),
                                                       context_.read_url_options(), context_.ui_host());
  PersonalCentreWindow* raw = window.get();
  raw->signal_change_password_requested().connect([this, raw] { OpenChangePassword(raw); });
  raw->signal_feedback_requested().connect([this, raw] { OpenFeedback(*raw); });
  raw->AppendSection(*Gtk::make_managed<SyncStatusRow>(context_.favourites_sync()));
  context_.ui_host().ShowModal(std::move(window), parent);
}

void AccountWindows::OpenChangePassword(Gtk::Window* parent) {
  auto window = std::make_unique<ChangePasswordWindow>(context_.tasks(), context_.password_account(),
                                                       context_.login_state(), context_.remembered_login(),
                                                       context_.ui_host());
  window->signal_password_changed().connect([this](const std::string& account, const std::string& password) {
    context_.favourites_sync().PasswordChanged(account, password);
  });
  context_.ui_host().ShowModal(std::move(window), parent);
}

void AccountWindows::OpenFeedback(PersonalCentreWindow& centre) {
  // Should the centre go first, the title reads empty instead of touching it.
  sigc::slot<std::string()> title = sigc::track_object([&centre] { return centre.AccountLabelText(); }, centre);
  context_.ui_host().ShowModal(std::make_unique<FeedbackWindow>(context_.tasks(), context_.feedback_account(),
                                                                context_.ui_host(), [title] { return title(); }),
                               &centre);
}

}  // namespace nuve::ui
