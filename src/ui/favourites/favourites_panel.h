#pragma once
// The favourites panel at the left of the main window: the list of saved
// favourites and the button that hides the panel. Hidden at start.

#include <gtkmm.h>

namespace nuve::ui {

class FavouritesPanel : public Gtk::Box {
 public:
  FavouritesPanel();

  Gtk::ListBox& list() { return list_; }
  // Shows the panel when it is hidden, hides it otherwise.
  void Toggle() { set_visible(!get_visible()); }

 private:
  Gtk::Box header_{Gtk::Orientation::HORIZONTAL};
  Gtk::Label title_{"收藏夹"};
  Gtk::Button hide_button_;
  Gtk::ScrolledWindow scroller_;
  Gtk::ListBox list_;
};

}  // namespace nuve::ui
