#pragma once
// "个人中心": the profile the account service returns (fetched off the
// user-interface thread each time the window opens), the avatar, the
// account's status, and the buttons to edit the profile (not offered),
// change the password and send feedback (both only when logged in, which
// login.ini's 登录态 decides). The last two are signals: whoever opened this
// window opens those windows over it.

#include <gtkmm.h>

#include <string>

#include "core/account/account_requests.h"
#include "core/account/login_state.h"
#include "core/account/user_info.h"
#include "ui/account/account_widgets.h"

namespace nuve::ui {

class UiHost;

class PersonalCentreWindow : public Gtk::Window {
 public:
  // `current_user` receives the fetched profile and outlives the window;
  // `picture_options` carries the proxy for the avatar.
  PersonalCentreWindow(core::TaskRunner& tasks, core::AccountClient& client, core::LoginState& state,
                       core::UserInfo& current_user, core::ReadUrlOptions picture_options, UiHost& ui_host);

  // Adds a part at the end of the window (the favourites sync's row); the
  // window owns it.
  void AppendSection(Gtk::Widget& section) { layout_.append(section); }

  // The account label's text as it stands now.
  std::string AccountLabelText() const { return account_.get_text(); }

  sigc::signal<void()>& signal_change_password_requested() { return change_password_requested_; }
  sigc::signal<void()>& signal_feedback_requested() { return feedback_requested_; }

 private:
  void Build();
  void OnInfoReply(const core::ApiResponse& reply);
  void OnAvatar(const std::string& bytes);
  // Emits `signal` when logged in; otherwise shows `refusal`.
  void WhenLoggedIn(sigc::signal<void()>& signal, const char* refusal);

  core::AccountRequests requests_;
  core::LoginState& state_;
  core::UserInfo& current_user_;
  UiHost& ui_host_;

  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 12};
  Gtk::Box top_{Gtk::Orientation::HORIZONTAL, 18};
  Gtk::Image avatar_;
  Gtk::Box details_{Gtk::Orientation::VERTICAL, 6};
  Gtk::Label nickname_;
  Gtk::Label id_{"用户ID："};
  Gtk::Label account_{"用户帐号："};
  Gtk::Label email_{"注册邮箱："};
  Gtk::Label regist_time_{"注册时间："};
  Gtk::Label login_time_{"上次登录时间："};
  Gtk::Label login_address_{"上次登录地址："};
  Gtk::Box status_row_{Gtk::Orientation::HORIZONTAL, 4};
  Gtk::Label status_caption_{"帐号状态："};
  Gtk::Label status_{"未登录"};
  Gtk::Box buttons_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button edit_button_{"编辑资料"};
  Gtk::Button password_button_{"修改密码"};
  Gtk::Button feedback_button_{"发送反馈"};
  BusyState busy_{{}};

  sigc::signal<void()> change_password_requested_;
  sigc::signal<void()> feedback_requested_;
};

}  // namespace nuve::ui
