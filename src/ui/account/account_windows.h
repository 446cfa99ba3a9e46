#pragma once
// Opens the account windows, modally, with what each needs from the
// application context, and links them: the login window's links open the
// register and recover windows, the personal centre's buttons open the
// change-password and feedback windows over it.

#include <gtkmm.h>

namespace nuve::ui {

class AppContext;
class PersonalCentreWindow;

class AccountWindows {
 public:
  explicit AccountWindows(AppContext& context) : context_(context) {}

  void OpenLogin(Gtk::Window* parent);
  void OpenRegister(Gtk::Window* parent);
  void OpenRecoverPassword(Gtk::Window* parent);
  void OpenPersonalCentre(Gtk::Window* parent);
  void OpenChangePassword(Gtk::Window* parent);
  // The feedback's title is the centre's account label at the moment of sending.
  void OpenFeedback(PersonalCentreWindow& centre);

 private:
  bool SendsInClear() const;

  AppContext& context_;
};

}  // namespace nuve::ui
