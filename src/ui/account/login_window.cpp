#include "ui/account/login_window.h"

#include "core/account/account_texts.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

LoginWindow::LoginWindow(core::TaskRunner& tasks, core::AccountClient& client, core::LoginState& state,
                         core::RememberedLogin& remembered, UiHost& ui_host, bool sends_in_clear)
    : requests_(tasks, client), state_(state), remembered_(remembered), ui_host_(ui_host) {
  Build(sends_in_clear);
  ConnectFocusHandlers();
  login_button_.signal_clicked().connect(sigc::mem_fun(*this, &LoginWindow::OnLoginClicked));
  // Links as the desktop draws them: a click or Enter on one opens its window.
  register_link_.signal_activate_link().connect(
      [this](const Glib::ustring&) {
        register_requested_.emit();
        return true;
      },
      false);
  recover_link_.signal_activate_link().connect(
      [this](const Glib::ustring&) {
        recover_requested_.emit();
        return true;
      },
      false);

  account_entry_.set_text(state_.LastAccount());
  const bool remember = remembered_.RemembersPassword();
  const bool automatic = remembered_.LogsInAutomatically();
  if (remember || automatic) remember_check_.set_active(true);
  if (automatic) auto_check_.set_active(true);
  // The remembered password comes from the secret store, off this thread;
  // a password still lying in login.ini moves there now. The automatic
  // login waits for it.
  if (automatic) busy_.Begin();
  requests_.Run<std::string>(
      [&remembered](std::stop_token stop) { return remembered.LoadPassword(stop); },
      [this, remember, automatic](std::string password) { OnPasswordLoaded(password, remember, automatic); });
}

void LoginWindow::Build(bool sends_in_clear) {
  account_label_.set_name("透明标签1");
  account_entry_.set_name("编辑框1");
  password_label_.set_name("透明标签2");
  password_entry_.set_name("编辑框2");
  MaskPassword(password_entry_);
  remember_check_.set_name("选择框1");
  auto_check_.set_name("选择框2");
  login_button_.set_name("按钮1");
  register_link_.set_name("透明标签3");
  recover_link_.set_name("透明标签4");
  register_link_.set_markup("<a href=\"register\">没有帐号？注册一个</a>");
  recover_link_.set_markup("<a href=\"recover\">忘记密码？找回密码</a>");

  form_.set_row_spacing(8);
  form_.set_column_spacing(8);
  AddFormRow(form_, 0, account_label_, account_entry_);
  AddFormRow(form_, 1, password_label_, password_entry_);
  checks_.append(remember_check_);
  checks_.append(auto_check_);
  login_button_.set_hexpand(true);
  button_row_.append(login_button_);
  button_row_.append(busy_.spinner());
  layout_.append(form_);
  layout_.append(checks_);
  layout_.append(button_row_);
  layout_.append(register_link_);
  layout_.append(recover_link_);
  if (sends_in_clear) AddUnencryptedNotice(layout_, clear_notice_);
  set_default_widget(login_button_);
  account_entry_.set_activates_default(true);
  password_entry_.set_activates_default(true);
  SetUpAccountWindow(*this, "登录", layout_);
}

// These run when a box gets or loses the keyboard focus, not when it is
// ticked. Pressing "登录" takes the focus from a box first, so after a login
// the keys on disk match the ticks.
void LoginWindow::ConnectFocusHandlers() {
  auto remember_focus = Gtk::EventControllerFocus::create();
  remember_focus->signal_enter().connect([this] { remembered_.SetRemembersPassword(true); });
  remember_focus->signal_leave().connect([this] {
    remembered_.SetRemembersPassword(false);
    remembered_.ForgetPassword();
  });
  remember_check_.add_controller(remember_focus);

  auto auto_focus = Gtk::EventControllerFocus::create();
  auto_focus->signal_enter().connect([this] {
    remembered_.SetLogsInAutomatically(true);
    remember_check_.set_active(true);
  });
  auto_focus->signal_leave().connect([this] { remembered_.SetLogsInAutomatically(false); });
  auto_check_.add_controller(auto_focus);
}

void LoginWindow::OnPasswordLoaded(const std::string& password, bool fill, bool log_in) {
  // What the user typed meanwhile stays.
  if (fill && password_entry_.get_text().empty()) password_entry_.set_text(password);
  if (!log_in) return;
  // The automatic login keeps the remembering keys as they are.
  busy_.End();
  LogIn();
}

void LoginWindow::OnLoginClicked() {
  if (busy_.busy()) return;
  const std::string account = account_entry_.get_text();
  // The keys are written now: a window closed before the reply still
  // remembers what was typed.
  if (remember_check_.get_active()) {
    remembered_.SetRemembersPassword(true);
    remembered_.RememberPassword(account, password_entry_.get_text());
  }
  if (auto_check_.get_active()) remembered_.SetLogsInAutomatically(true);
  remembered_.SetLastTypedAccount(account);
  LogIn();
}

void LoginWindow::LogIn() {
  // Nothing is checked first: empty fields go to the service, whose reply says why not.
  const std::string account = account_entry_.get_text();
  const std::string password = password_entry_.get_text();
  busy_.Begin();
  requests_.Send([account, password](core::AccountClient& c) { return c.Login(account, password); },
                 [this, account, password](core::ApiResponse reply) { OnLoginReply(account, password, reply); });
}

void LoginWindow::OnLoginReply(const std::string& account, const std::string& password,
                               const core::ApiResponse& reply) {
  busy_.End();
  if (!reply.IsSuccess()) {
    ui_host_.Info(this, core::FailureText(reply));
    return;
  }
  state_.RecordLogin(account);
  logged_in_.emit(account, password);
  ui_host_.Info(this, "登录成功");
}

}  // namespace nuve::ui
