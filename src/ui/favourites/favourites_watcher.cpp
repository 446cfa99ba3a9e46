#include "ui/favourites/favourites_watcher.h"

#include <set>

#include "core/app/log.h"
#include "ui/app/guard.h"

namespace nuve::ui {

FavouritesWatcher::FavouritesWatcher(const core::FavouritesStore& store, unsigned quiet_ms)
    : store_(store), quiet_ms_(quiet_ms) {
  Follow();
}

FavouritesWatcher::~FavouritesWatcher() {
  quiet_timer_.disconnect();
  for (auto& [dir, monitor] : monitors_) monitor->cancel();
}

// Watches the favourites folder (or, while it does not exist, the folder
// it will be made in) and every subfolder; forgets folders that went.
void FavouritesWatcher::Follow() {
  std::set<std::filesystem::path> wanted;
  std::error_code ec;
  if (std::filesystem::is_directory(store_.folder(), ec)) {
    wanted.insert(store_.folder());
    for (const core::FavouriteEntry& folder : store_.AllFolders()) wanted.insert(folder.file);
  } else {
    wanted.insert(store_.folder().parent_path());
  }
  for (auto it = monitors_.begin(); it != monitors_.end();) {
    if (wanted.count(it->first) == 0) {
      it->second->cancel();
      it = monitors_.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& dir : wanted) {
    if (monitors_.count(dir) == 0) Watch(dir);
  }
}

void FavouritesWatcher::Watch(const std::filesystem::path& dir) {
  try {
    auto monitor = Gio::File::create_for_path(dir.string())->monitor_directory(Gio::FileMonitorFlags::WATCH_MOVES);
    monitor->signal_changed().connect(sigc::mem_fun(*this, &FavouritesWatcher::OnEvent));
    monitors_.emplace(dir, monitor);
  } catch (const Glib::Error& e) {
    core::LogWarning("favourites", "cannot watch " + dir.string() + ": " + e.what());
  }
}

void FavouritesWatcher::OnEvent(const Glib::RefPtr<Gio::File>& file, const Glib::RefPtr<Gio::File>&,
                                Gio::FileMonitor::Event event) {
  Guard("favourites watcher", [&] {
    if (event == Gio::FileMonitor::Event::CHANGED || event == Gio::FileMonitor::Event::PRE_UNMOUNT) return;
    // The parent's monitor reports the favourites folder itself coming or
    // going; nothing else there matters.
    if (file && monitors_.count(store_.folder()) == 0 && file->get_path() != store_.folder().string()) return;
    quiet_timer_.disconnect();
    quiet_timer_ = Glib::signal_timeout().connect(sigc::mem_fun(*this, &FavouritesWatcher::OnQuiet), quiet_ms_);
  });
}

bool FavouritesWatcher::OnQuiet() {
  Guard("favourites watcher", [&] {
    Follow();
    changed_.emit();
  });
  return false;
}

}  // namespace nuve::ui
