#pragma once
// Opens the update windows modally with what each needs from the
// application context.

#include <gtkmm.h>

#include <functional>

namespace nuve::ui {

class AppContext;

class UpdateWindows {
 public:
  explicit UpdateWindows(AppContext& context) : context_(context) {}

  void OpenCheckUpdate(Gtk::Window* parent);
  void OpenUpdateLog(Gtk::Window* parent);
  // `quit` ends the program; its buttons call it.
  void OpenNewVersion(Gtk::Window* parent, std::function<void()> quit);

 private:
  AppContext& context_;
};

}  // namespace nuve::ui
