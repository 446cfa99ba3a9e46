#pragma once
// The list of saved usernames under a sign-in form's username field, for a
// site with saved accounts. It is a popover of the program, not part of the
// page: the page can neither read it nor pick from it. It never takes the
// keyboard by itself, so typing into the field goes on; Down moves into it.

#include <gtkmm.h>

#include <string>
#include <vector>

namespace nuve::ui {

class UsernameChooser : public Gtk::Popover {
 public:
  UsernameChooser();

  // Lists `usernames` ("" for an account without one).
  void SetUsernames(const std::vector<std::string>& usernames);
  // Moves the keyboard into the list.
  void FocusFirst();

  // The user picked the username at this index.
  sigc::signal<void(std::size_t)>& signal_chosen() { return chosen_; }

 private:
  Gtk::Box list_{Gtk::Orientation::VERTICAL, 0};
  sigc::signal<void(std::size_t)> chosen_;
};

}  // namespace nuve::ui
