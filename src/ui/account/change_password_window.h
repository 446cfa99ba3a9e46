#pragma once
// "修改密码": the account (filled from the last login attempt when logged
// in), the old and the new password, each with a button that shows the
// password while the left mouse button is held on it. After a successful
// change, a password remembered for that account becomes the new one.

#include <gtkmm.h>

#include "core/account/account_requests.h"
#include "core/account/login_state.h"
#include "core/account/remembered_login.h"
#include "ui/account/account_widgets.h"

namespace nuve::ui {

class UiHost;

class ChangePasswordWindow : public Gtk::Window {
 public:
  // The service accepted a new password: the account and the new password
  // (the favourites sync wraps its key anew with it).
  sigc::signal<void(const std::string&, const std::string&)>& signal_password_changed() { return changed_; }

  ChangePasswordWindow(core::TaskRunner& tasks, core::AccountClient& client, core::LoginState& state,
                       core::RememberedLogin& remembered, UiHost& ui_host);

 private:
  void Build();
  void OnChangeClicked();

  core::AccountRequests requests_;
  core::RememberedLogin& remembered_;
  UiHost& ui_host_;

  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 12};
  Gtk::Grid form_;
  Gtk::Label account_label_{"帐号："};
  Gtk::Entry account_entry_;
  Gtk::Label old_label_{"旧密码："};
  Gtk::Box old_row_{Gtk::Orientation::HORIZONTAL, 4};
  Gtk::Entry old_entry_;
  Gtk::Button show_old_;
  Gtk::Label new_label_{"新密码："};
  Gtk::Box new_row_{Gtk::Orientation::HORIZONTAL, 4};
  Gtk::Entry new_entry_;
  Gtk::Button show_new_;
  Gtk::Box button_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button change_button_{"修改密码"};
  BusyState busy_{{&change_button_}};
  sigc::signal<void(const std::string&, const std::string&)> changed_;
};

}  // namespace nuve::ui
