#pragma once
// The bar above a page after a sign-in that is not saved yet (or whose
// password changed): "是否保存 host 的密码？" with "保存", "从不保存此网站"
// and a close button. It only shows the question; the tab's PagePasswords
// holds the sign-in and acts on the answer.

#include <gtkmm.h>

#include <string>

namespace nuve::ui {

class SavePasswordBar : public Gtk::Box {
 public:
  SavePasswordBar();

  void Ask(const std::string& host);

  Gtk::Button& save_button() { return save_; }
  Gtk::Button& never_button() { return never_; }
  Gtk::Button& close_button() { return close_; }
  std::string Question() const { return question_.get_text(); }

 private:
  Gtk::Label question_;
  Gtk::Button save_{"保存"};
  Gtk::Button never_{"从不保存此网站"};
  Gtk::Button close_;
};

}  // namespace nuve::ui
