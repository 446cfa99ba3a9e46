#include "ui/account/account_windows.h"

#include <memory>

#include "core/account/service_address.h"
#include "ui/account/change_password_window.h"
#include "ui/account/feedback_window.h"
#include "ui/account/login_window.h"
#include "ui/account/personal_centre_window.h"
#include "ui/account/recover_password_window.h"
#include "ui/account/register_window.h"
#include "ui/app/app_context.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

bool AccountWindows::SendsInClear() const {
  return core::ServiceAddress(context_.config().service_host).SendsInClear();
}

void AccountWindows::OpenLogin(Gtk::Window* parent) {
  auto window = std::make_unique<LoginWindow>(context_.tasks(), context_.login_account(), context_.login_state(),
                                              context_.remembered_login(), context_.ui_host(), SendsInClear());
  LoginWindow* raw = window.get();
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
  context_.ui_host().ShowModal(std::move(window), parent);
}

void AccountWindows::OpenChangePassword(Gtk::Window* parent) {
  context_.ui_host().ShowModal(
      std::make_unique<ChangePasswordWindow>(context_.tasks(), context_.password_account(), context_.login_state(),
                                             context_.remembered_login(), context_.ui_host()),
      parent);
}

void AccountWindows::OpenFeedback(PersonalCentreWindow& centre) {
  // Should the centre go first, the title reads empty instead of touching it.
  sigc::slot<std::string()> title = sigc::track_object([&centre] { return centre.AccountLabelText(); }, centre);
  context_.ui_host().ShowModal(std::make_unique<FeedbackWindow>(context_.tasks(), context_.feedback_account(),
                                                                context_.ui_host(), [title] { return title(); }),
                               &centre);
}

}  // namespace nuve::ui
