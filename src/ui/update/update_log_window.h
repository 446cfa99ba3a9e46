#pragma once
// "更新日志": what changed in this version, as fixed text.

#include <gtkmm.h>

namespace nuve::ui {

class UpdateLogWindow : public Gtk::Window {
 public:
  UpdateLogWindow();

 private:
  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 10};
  Gtk::Label heading_;
  Gtk::Label changes_;
};

}  // namespace nuve::ui
