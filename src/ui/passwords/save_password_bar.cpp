#include "ui/passwords/save_password_bar.h"

#include "ui/app/accessible.h"

namespace nuve::ui {

SavePasswordBar::SavePasswordBar() : Gtk::Box(Gtk::Orientation::HORIZONTAL, 8) {
  set_name("password-bar");
  add_css_class("toolbar");
  question_.set_name("password-question");
  question_.set_hexpand(true);
  question_.set_xalign(0);
  question_.set_wrap(true);
  save_.set_name("save-password");
  save_.add_css_class("suggested-action");
  never_.set_name("never-save-password");
  close_.set_name("close-password-bar");
  close_.add_css_class("flat");
  SetIconButton(close_, "window-close-symbolic", "关闭");
  append(question_);
  append(save_);
  append(never_);
  append(close_);
  set_visible(false);
}

void SavePasswordBar::Ask(const std::string& host) {
  question_.set_text("是否保存 " + host + " 的密码？");
  set_visible(true);
}

}  // namespace nuve::ui
