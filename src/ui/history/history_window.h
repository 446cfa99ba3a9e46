#pragma once
// The history window (Ctrl+H): visited pages, the latest first, with a
// search box; a page opens in the current tab with Enter or a double-click,
// "删除" removes the chosen page and "清除全部" (after a question) all of them.

#include <gtkmm.h>

#include <functional>
#include <string>

#include "core/history/history_store.h"
#include "ui/app/ui_callback.h"

namespace nuve::ui {

class UiHost;

class HistoryWindow : public Gtk::Window {
 public:
  HistoryWindow(core::HistoryStore& history, UiHost& ui_host, std::function<void(const std::string&)> open);

  Gtk::SearchEntry& search_entry() { return search_; }
  Gtk::ListBox& list() { return list_; }
  const core::HistoryStore::Entries& entries() const { return entries_; }
  // Runs the search for the search box's text again.
  void Refresh();
  void DeleteSelected();
  void ClearAll();

  // The list was filled from an answer of the history (tests wait for it).
  sigc::signal<void()>& signal_refreshed() { return refreshed_; }

 private:
  void Fill(core::HistoryStore::Entries entries);
  void OpenRow(int index);
  bool OnKeyPressed(guint keyval, guint keycode, Gdk::ModifierType state);

  core::HistoryStore& history_;
  UiHost& ui_host_;
  std::function<void(const std::string&)> open_;
  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 6};
  Gtk::SearchEntry search_;
  Gtk::ScrolledWindow scroller_;
  Gtk::ListBox list_;
  Gtk::Label empty_{"没有历史记录"};
  Gtk::Box buttons_{Gtk::Orientation::HORIZONTAL, 6};
  Gtk::Button open_button_{"打开"};
  Gtk::Button delete_button_{"删除"};
  Gtk::Button clear_button_{"清除全部"};
  core::HistoryStore::Entries entries_;
  // The window's lifetime, and the search on its way (renewed for each).
  core::TaskScope scope_;
  core::TaskScope search_scope_;
  sigc::signal<void()> refreshed_;
};

}  // namespace nuve::ui
