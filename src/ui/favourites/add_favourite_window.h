#pragma once
// "收藏": saves the current page as a favourite. It opens with the page's
// address and title filled in and the top level of the favourites as the
// place (any favourites folder can be picked); "确认收藏" checks the input,
// writes the favourite's file through the store and closes; "取消" closes.

#include <gtkmm.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/favourites/favourites_store.h"

namespace nuve::ui {

class UiHost;

class AddFavouriteWindow : public Gtk::Window {
 public:
  // `folder`: the place picked at first (the top level when empty).
  AddFavouriteWindow(const core::FavouritesStore& store, UiHost& ui_host, const std::string& address,
                     const std::string& title, const std::filesystem::path& folder = {});

  // The folder picked, and picking one (false when it is not offered).
  std::filesystem::path PickedFolder() const;
  bool PickFolder(const std::filesystem::path& folder);

  // A favourite was written (before the window closes).
  sigc::signal<void(const core::FavouriteEntry&)>& signal_saved() { return saved_; }

  // "确认收藏", as a click on it does.
  void Confirm();

 private:
  const core::FavouritesStore& store_;
  UiHost& ui_host_;
  Gtk::Grid grid_;
  Gtk::Label address_label_{"将要收藏的网址："};
  Gtk::Entry address_entry_;
  Gtk::Label remark_label_{"备注："};
  Gtk::Entry remark_entry_;
  Gtk::Label folder_label_{"保存到："};
  Gtk::DropDown folder_picker_;
  // The folders the picker offers, in its order; the top level first.
  std::vector<std::filesystem::path> folders_;
  Gtk::Box buttons_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button confirm_button_{"确认收藏"};
  Gtk::Button cancel_button_{"取消"};
  sigc::signal<void(const core::FavouriteEntry&)> saved_;
};

}  // namespace nuve::ui
