#pragma once
// Completion for the address box: while the user types, a list under the box
// offers matching favourites and visited pages (at most eight, best first).
// Up and Down move through it with the focus staying in the box; Enter takes
// the chosen row, Escape closes the list; a click takes a row too.

#include <gtkmm.h>

#include <string>
#include <vector>

#include "core/history/completion.h"
#include "core/history/history_store.h"
#include "ui/app/ui_callback.h"

namespace nuve::ui {

class AddressCompletion : public sigc::trackable {
 public:
  AddressCompletion(Gtk::Entry& entry, core::HistoryStore& history, core::FavouritesSource favourites = {});
  ~AddressCompletion();
  AddressCompletion(const AddressCompletion&) = delete;
  AddressCompletion& operator=(const AddressCompletion&) = delete;

  // Where the favourites come from (the favourites store).
  void set_favourites_source(core::FavouritesSource source) { favourites_ = std::move(source); }

  // Asks for rows for `typed` (the user's text); the list opens when they come.
  void Update(const std::string& typed);
  void Hide();

  bool IsShown() const { return popover_.get_visible(); }
  const std::vector<core::Completion>& rows() const { return rows_; }
  // The row Up/Down points at; -1 for none.
  int selected() const;
  Gtk::ListBox& list() { return list_; }

  // A row was taken with the pointer: its address is in the box; load it.
  sigc::signal<void(const std::string&)>& signal_chosen() { return chosen_; }

 private:
  void Show(std::vector<core::Completion> rows);
  void Move(int step);
  void Take(int index, bool load);
  bool OnKeyPressed(guint keyval, guint keycode, Gdk::ModifierType state);

  Gtk::Entry& entry_;
  core::HistoryStore& history_;
  core::FavouritesSource favourites_;
  Glib::RefPtr<Gtk::EventControllerKey> keys_;
  Glib::RefPtr<Gtk::EventControllerFocus> focus_;
  Gtk::Popover popover_;
  Gtk::ScrolledWindow scroller_;
  Gtk::ListBox list_;
  std::vector<core::Completion> rows_;
  bool taking_ = false;
  // The request on its way; renewed for each one, so only the answer for
  // the latest arrives.
  core::TaskScope request_;
  sigc::signal<void(const std::string&)> chosen_;
};

}  // namespace nuve::ui
