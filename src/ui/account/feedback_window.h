#pragma once
// "反馈": up to 200 characters of feedback, sent with the personal centre's
// account label as its title. "取消" closes the window and drops the text.

#include <gtkmm.h>

#include <functional>
#include <string>

#include "core/account/account_requests.h"
#include "ui/account/account_widgets.h"

namespace nuve::ui {

class UiHost;

class FeedbackWindow : public Gtk::Window {
 public:
  // `title_source` gives the title at the moment of sending.
  FeedbackWindow(core::TaskRunner& tasks, core::AccountClient& client, UiHost& ui_host,
                 std::function<std::string()> title_source);

 private:
  void Build();
  void OnSendClicked();
  void KeepWithinLimit();

  core::AccountRequests requests_;
  UiHost& ui_host_;
  std::function<std::string()> title_source_;

  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 8};
  Gtk::Label prompt_{"请输入反馈内容："};
  Gtk::ScrolledWindow scroller_;
  Gtk::TextView content_;
  Gtk::Label hint_{"请输入200字以内的内容，选择取\n消后内容不保存！"};
  Gtk::Box button_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button send_button_{"发送"};
  Gtk::Button cancel_button_{"取消"};
  BusyState busy_{{&send_button_}};
};

}  // namespace nuve::ui
