#pragma once
// The favourites panel at the left of the main window: the list of saved
// favourites, the button that hides the panel, and the list's pop-up menu
// "收藏夹菜单" (添加书签, 删除, 打开保存地址). Hidden at start. Rows show
// what the favourites store lists; every action on a row goes through it.

#include <gtkmm.h>

#include <string>
#include <vector>

#include "core/favourites/favourites_store.h"

namespace nuve::ui {

class UiHost;

class FavouritesPanel : public Gtk::Box {
 public:
  FavouritesPanel(const core::FavouritesStore& store, UiHost& ui_host);
  ~FavouritesPanel() override;

  // Fills the list with every favourite in the store, in the store's order.
  void LoadFromStore();
  // A favourite that was just saved: its row when it has one already,
  // otherwise a new row at the end.
  void ShowSaved(const core::FavouriteEntry& entry);

  // Titles of the rows, top to bottom.
  std::vector<std::string> Titles() const;
  // The selected row's index, -1 when none is selected.
  int SelectedIndex() const;
  void Select(int index);

  // Opens the selected favourite (what a double-click on a row does);
  // nothing happens without a selection or an address in the file.
  void OpenSelected();
  // Deletes the selected favourite's file and its row, without asking.
  void DeleteSelected();
  // Opens the favourites folder in the desktop's file manager, without
  // waiting for it; a failure is logged and reported.
  void OpenFolder();

  // Shows the pop-up menu at (x, y) in the list; "删除" is enabled only
  // while a row is selected.
  void ShowMenu(double x, double y);
  bool DeleteEnabled() const { return delete_action_->get_enabled(); }
  Gtk::PopoverMenu& menu() { return menu_; }

  // Shows the panel when it is hidden, hides it otherwise.
  void Toggle() { set_visible(!get_visible()); }

  Gtk::ListBox& list() { return list_; }
  Gtk::Button& hide_button() { return hide_button_; }

  // The address of a favourite the user opened.
  sigc::signal<void(const std::string&)>& signal_open() { return open_; }
  // The listed favourites changed (listed, added, replaced or deleted).
  sigc::signal<void()>& signal_changed() { return changed_; }

 private:
  void AppendRow(const core::FavouriteEntry& entry);
  void OnRowActivated(Gtk::ListBoxRow* row);
  void OnRightClick(int n_press, double x, double y);
  void OnFolderOpened(const Glib::RefPtr<Gio::AsyncResult>& result);
  void UpdateMenuState();
  Gtk::Window* ParentWindow();

  const core::FavouritesStore& store_;
  UiHost& ui_host_;
  // One entry per row, in row order.
  std::vector<core::FavouriteEntry> entries_;
  Gtk::Box header_{Gtk::Orientation::HORIZONTAL};
  Gtk::Label title_{"收藏夹"};
  Gtk::Button hide_button_;
  Gtk::ScrolledWindow scroller_;
  Gtk::ListBox list_;
  Gtk::PopoverMenu menu_;  // parented to the list, unparented in the destructor
  Glib::RefPtr<Gio::SimpleAction> delete_action_;
  Glib::RefPtr<Gtk::GestureClick> right_click_;
  // Cancelled when the panel goes, so a late answer finds nobody.
  Glib::RefPtr<Gio::Cancellable> folder_launch_;
  sigc::signal<void(const std::string&)> open_;
  sigc::signal<void()> changed_;
};

}  // namespace nuve::ui
