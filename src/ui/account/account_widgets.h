#pragma once
// Small pieces the account and update windows share: a form row, input
// rules of edit boxes, coloured labels, clickable labels, and the busy state
// a window shows while its request runs.

#include <gtkmm.h>

#include <functional>
#include <string>
#include <vector>

#include "core/util/coloured_text.h"

namespace nuve::ui {

// Puts `label` and `field` side by side in row `row` of `grid`.
void AddFormRow(Gtk::Grid& grid, int row, Gtk::Label& label, Gtk::Widget& field);
// An edit box that keeps at most `max_chars` characters and, with
// `digits_only`, refuses everything but 0-9 (typed or pasted).
void LimitEntry(Gtk::Entry& entry, int max_chars, bool digits_only = false);
// A password box: shows "*" for every character.
void MaskPassword(Gtk::Entry& entry);
// Appends to `box` the red notice that passwords cross the network
// unencrypted, in `notice`.
void AddUnencryptedNotice(Gtk::Box& box, Gtk::Label& notice);
// Sets the label's text in the given colour.
void ShowColoured(Gtk::Label& label, const core::ColouredText& text);
// A window of the account family: title, modal size, margins round `child`.
void SetUpAccountWindow(Gtk::Window& window, const char* title, Gtk::Widget& child);
// The picture in `bytes` (PNG, JPEG, GIF...), scaled to fit `side` pixels;
// null when it is no picture or larger than 4096 pixels a side (which is
// refused before anything is decoded).
Glib::RefPtr<Gdk::Texture> DecodePicture(const std::string& bytes, int side);
// Shows the default avatar in `image`.
void ShowDefaultAvatar(Gtk::Image& image);

// While a request runs: the window's buttons cannot be pressed and a
// spinner turns.
class BusyState {
 public:
  explicit BusyState(std::vector<Gtk::Widget*> controls) : controls_(std::move(controls)) {
    spinner_.set_name("busy");
    spinner_.set_visible(false);
  }
  void Begin();
  void End();
  bool busy() const { return busy_; }
  Gtk::Spinner& spinner() { return spinner_; }

 private:
  std::vector<Gtk::Widget*> controls_;
  Gtk::Spinner spinner_;
  bool busy_ = false;
};

}  // namespace nuve::ui
