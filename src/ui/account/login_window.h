#pragma once
// "登录": logs in to the account service, remembers the account and, when
// asked, the password (in the secret store, or owner-only login.ini) and
// logs in by itself when it opens. The login runs off the user-interface
// thread; its reply dies with the window. The links to the register and
// recover windows are signals: whoever opened this window opens those.

#include <gtkmm.h>

#include <string>

#include "core/account/account_requests.h"
#include "core/account/login_state.h"
#include "core/account/remembered_login.h"
#include "ui/account/account_widgets.h"

namespace nuve::ui {

class UiHost;

class LoginWindow : public Gtk::Window {
 public:
  // `sends_in_clear`: the service is reached by plain HTTP over the network,
  // and the window says so in red.
  LoginWindow(core::TaskRunner& tasks, core::AccountClient& client, core::LoginState& state,
              core::RememberedLogin& remembered, UiHost& ui_host, bool sends_in_clear);

  sigc::signal<void()>& signal_register_requested() { return register_requested_; }
  sigc::signal<void()>& signal_recover_requested() { return recover_requested_; }
  // A login succeeded: the account and the password it was made with (the
  // favourites sync derives its key from it).
  sigc::signal<void(const std::string&, const std::string&)>& signal_logged_in() { return logged_in_; }

 private:
  void Build(bool sends_in_clear);
  void ConnectFocusHandlers();
  void OnPasswordLoaded(const std::string& password, bool fill, bool log_in);
  void OnLoginClicked();
  // Logs in with the texts of the boxes.
  void LogIn();
  void OnLoginReply(const std::string& account, const std::string& password, const core::ApiResponse& reply);

  core::AccountRequests requests_;
  core::LoginState& state_;
  core::RememberedLogin& remembered_;
  UiHost& ui_host_;

  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 10};
  Gtk::Grid form_;
  Gtk::Label account_label_{"帐号"};
  Gtk::Entry account_entry_;
  Gtk::Label password_label_{"密码"};
  Gtk::Entry password_entry_;
  Gtk::Box checks_{Gtk::Orientation::HORIZONTAL, 12};
  Gtk::CheckButton remember_check_{"记住密码"};
  Gtk::CheckButton auto_check_{"自动登录"};
  Gtk::Box button_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button login_button_{"登录"};
  Gtk::Label register_link_{"没有帐号？注册一个"};
  Gtk::Label recover_link_{"忘记密码？找回密码"};
  Gtk::Label clear_notice_;
  BusyState busy_{{&login_button_}};

  sigc::signal<void()> register_requested_;
  sigc::signal<void()> recover_requested_;
  sigc::signal<void(const std::string&, const std::string&)> logged_in_;
};

}  // namespace nuve::ui
