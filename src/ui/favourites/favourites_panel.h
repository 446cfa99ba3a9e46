#pragma once
// The favourites panel at the left of the main window: the list of saved
// favourites, the button that hides the panel, and the list's pop-up menu
// "收藏夹菜单" (添加书签, 新建文件夹, 删除, 打开保存地址). Hidden at start.
// Rows show what the favourites store lists; every action on a row goes
// through it. Folders are rows that open and close like a file manager's
// tree: a click on the arrow, Enter or a double-click, or the keys Right
// and Left ("+" and "-"). Changes made to the folder elsewhere (a file
// manager, the sync) show as soon as they settle; open folders stay open.

#include <gtkmm.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/favourites/favourites_store.h"
#include "ui/favourites/favourites_watcher.h"

namespace nuve::ui {

class UiHost;

class FavouritesPanel : public Gtk::Box {
 public:
  FavouritesPanel(const core::FavouritesStore& store, UiHost& ui_host);
  ~FavouritesPanel() override;

  // Fills the list with every favourite in the store, in the store's order:
  // the folders, then the favourites of the top level. A long list is
  // filled a part at a time, so the window never waits for it.
  void LoadFromStore();
  // A favourite that was just saved: its row when it has one already,
  // otherwise a new row at the end of its folder (when that is shown).
  void ShowSaved(const core::FavouriteEntry& entry);

  // Titles of the rows shown, top to bottom.
  std::vector<std::string> Titles() const;
  // The selected row's index, -1 when none is selected.
  int SelectedIndex() const;
  void Select(int index);
  // The row's depth: 0 on the top level, 1 in a folder there...
  int DepthOf(int index) const;
  bool IsFolder(int index) const;
  bool IsExpanded(int index) const;
  // Opens (shows the content of) or closes a folder row.
  void SetExpanded(int index, bool expanded);
  // The folder that "添加书签" and "新建文件夹" put things in: the selected
  // folder, the folder of the selected favourite, else the top level.
  std::filesystem::path TargetFolder() const;

  // Opens the selected favourite (what a double-click on a row does); on a
  // folder, opens or closes it; nothing happens without a selection or an
  // address in the file.
  void OpenSelected();
  // Deletes the selected favourite's file and its row, without asking; a
  // folder only after the user agreed, with all it holds.
  void DeleteSelected();
  // "新建文件夹": asks for a name, then makes the folder in TargetFolder().
  void NewFolder();
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
  struct Row {
    core::FavouriteEntry entry;
    int depth = 0;
    bool expanded = false;
  };

  void Reload();
  void InsertRows(std::size_t position, const std::vector<core::FavouriteEntry>& entries, int depth);
  void FillLater();
  Gtk::Widget& MakeRowWidget(const Row& row);
  void ShowExpanded(std::size_t index);
  void Collapse(std::size_t index);
  std::size_t EndOfChildren(std::size_t index) const;
  void OnRowActivated(Gtk::ListBoxRow* row);
  bool OnKeyPressed(guint keyval, guint keycode, Gdk::ModifierType state);
  void OnRightClick(int n_press, double x, double y);
  void OnFolderOpened(const Glib::RefPtr<Gio::AsyncResult>& result);
  void DeleteFolder(std::size_t index);
  void UpdateMenuState();
  Gtk::Window* ParentWindow();

  const core::FavouritesStore& store_;
  UiHost& ui_host_;
  // One entry per row, in row order.
  std::vector<Row> rows_;
  // Top-level entries still to be shown (a long list fills in parts).
  std::vector<core::FavouriteEntry> pending_;
  bool loaded_ = false;
  Gtk::Box header_{Gtk::Orientation::HORIZONTAL};
  Gtk::Label title_{"收藏夹"};
  Gtk::Button hide_button_;
  Gtk::ScrolledWindow scroller_;
  Gtk::ListBox list_;
  Gtk::PopoverMenu menu_;  // parented to the list, unparented in the destructor
  Glib::RefPtr<Gio::SimpleAction> delete_action_;
  Glib::RefPtr<Gtk::GestureClick> right_click_;
  Glib::RefPtr<Gtk::EventControllerKey> keys_;
  // Cancelled when the panel goes, so a late answer finds nobody.
  Glib::RefPtr<Gio::Cancellable> folder_launch_;
  sigc::connection fill_idle_;
  std::unique_ptr<FavouritesWatcher> watcher_;
  // Answers to the delete question and the name window find the panel
  // only while it lives.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  sigc::signal<void(const std::string&)> open_;
  sigc::signal<void()> changed_;
};

}  // namespace nuve::ui
