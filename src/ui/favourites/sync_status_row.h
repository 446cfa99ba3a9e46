#pragma once
// The favourites sync in the personal centre: "上次同步：…", a line on the
// state, and "立即同步" (offered while the sync holds the key and is idle).

#include <gtkmm.h>

#include "core/sync/favourites_sync_service.h"

namespace nuve::ui {

class SyncStatusRow : public Gtk::Box {
 public:
  explicit SyncStatusRow(core::FavouritesSyncService& sync);

  Gtk::Label& last_synced() { return last_synced_; }
  Gtk::Label& state() { return state_; }
  Gtk::Button& sync_button() { return sync_button_; }

 private:
  void Show();

  core::FavouritesSyncService& sync_;
  Gtk::Box texts_{Gtk::Orientation::VERTICAL, 2};
  Gtk::Label last_synced_;
  Gtk::Label state_;
  Gtk::Button sync_button_{"立即同步"};
  core::FavouritesSyncService::Subscription changed_;
};

}  // namespace nuve::ui
