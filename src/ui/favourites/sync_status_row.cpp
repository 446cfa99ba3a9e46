#include "ui/favourites/sync_status_row.h"

#include "core/sync/sync_texts.h"

namespace nuve::ui {

SyncStatusRow::SyncStatusRow(core::FavouritesSyncService& sync)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL, 12), sync_(sync) {
  set_name("收藏同步");
  last_synced_.set_name("上次同步");
  last_synced_.set_xalign(0);
  state_.set_name("同步状态");
  state_.set_xalign(0);
  state_.set_wrap(true);
  state_.add_css_class("dim-label");
  sync_button_.set_name("立即同步");
  sync_button_.set_valign(Gtk::Align::CENTER);
  texts_.set_hexpand(true);
  texts_.append(last_synced_);
  texts_.append(state_);
  append(texts_);
  append(sync_button_);
  sync_button_.signal_clicked().connect([this] {
    sync_.SyncNow();
    sync_button_.set_sensitive(false);
  });
  // The subscription goes with the row, and with it every later call.
  changed_ = sync_.Subscribe([this] { Show(); });
  sync_.LoadLastSynced();
  Show();
}

void SyncStatusRow::Show() {
  const core::SyncStatus status = sync_.status();
  last_synced_.set_text(core::LastSyncedText(status.last_synced_ms));
  state_.set_text(core::SyncStateText(status));
  sync_button_.set_sensitive(sync_.unlocked() && status.state != core::SyncStatus::State::kWorking);
}

}  // namespace nuve::ui
