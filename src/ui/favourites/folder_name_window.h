#pragma once
// "新建文件夹": asks for the name of a new favourites folder and makes it in
// the folder it was opened for. The name follows the favourite names'
// rules (it is a folder name on disk) and may not start with a dot.

#include <gtkmm.h>

#include <filesystem>

#include "core/favourites/favourites_store.h"

namespace nuve::ui {

class UiHost;

class FolderNameWindow : public Gtk::Window {
 public:
  FolderNameWindow(const core::FavouritesStore& store, UiHost& ui_host, std::filesystem::path parent);

  // A folder was made (before the window closes).
  sigc::signal<void(const core::FavouriteEntry&)>& signal_created() { return created_; }

  // "确定", as a click on it does.
  void Confirm();

 private:
  const core::FavouritesStore& store_;
  UiHost& ui_host_;
  const std::filesystem::path parent_;
  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 10};
  Gtk::Label label_{"文件夹名称："};
  Gtk::Entry name_entry_;
  Gtk::Box buttons_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button ok_button_{"确定"};
  Gtk::Button cancel_button_{"取消"};
  sigc::signal<void(const core::FavouriteEntry&)> created_;
};

}  // namespace nuve::ui
