#pragma once
// "找回密码": sends the password-reset mail for an account and shows what
// the service answered. The notice names the operator's contact for users
// who no longer know their registration address.

#include <gtkmm.h>

#include <string>

#include "core/account/account_requests.h"
#include "ui/account/account_widgets.h"

namespace nuve::ui {

class UiHost;

class RecoverPasswordWindow : public Gtk::Window {
 public:
  // `contact` is the operator's instant-messaging contact ("" for none).
  RecoverPasswordWindow(core::TaskRunner& tasks, core::AccountClient& client, UiHost& ui_host,
                        const std::string& contact);

 private:
  void OnSendClicked();

  core::AccountRequests requests_;
  UiHost& ui_host_;

  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 10};
  Gtk::Label prompt_{"请输入忘记密码的帐号："};
  Gtk::Entry account_entry_;
  Gtk::Box button_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button send_button_{"发送密码找回邮件"};
  Gtk::Label notice_;
  BusyState busy_{{&send_button_}};
};

}  // namespace nuve::ui
