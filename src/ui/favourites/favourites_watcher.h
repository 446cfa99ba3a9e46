#pragma once
// Notices changes to the favourites folder made anywhere: by NUVE, by the
// sync, by a file manager. GIO's file monitors watch one folder each, so
// the watcher keeps one for the favourites folder and one for each of its
// subfolders, and follows folders as they come and go. Bursts of changes
// (an import writes thousands of files) come out as one signal once the
// folder has been quiet for a moment.

#include <giomm.h>
#include <glibmm.h>

#include <filesystem>
#include <map>

#include "core/favourites/favourites_store.h"

namespace nuve::ui {

class FavouritesWatcher : public sigc::trackable {
 public:
  // Starts watching at once; `quiet_ms` is how long the folder must be
  // still before the signal.
  explicit FavouritesWatcher(const core::FavouritesStore& store, unsigned quiet_ms = 300);
  ~FavouritesWatcher();
  FavouritesWatcher(const FavouritesWatcher&) = delete;
  FavouritesWatcher& operator=(const FavouritesWatcher&) = delete;

  sigc::signal<void()>& signal_changed() { return changed_; }

  // How many folders are watched (for tests).
  std::size_t WatchedFolders() const { return monitors_.size(); }

 private:
  void Follow();
  void Watch(const std::filesystem::path& dir);
  void OnEvent(const Glib::RefPtr<Gio::File>& file, const Glib::RefPtr<Gio::File>& other,
               Gio::FileMonitor::Event event);
  bool OnQuiet();

  const core::FavouritesStore store_;
  const unsigned quiet_ms_;
  std::map<std::filesystem::path, Glib::RefPtr<Gio::FileMonitor>> monitors_;
  sigc::connection quiet_timer_;
  sigc::signal<void()> changed_;
};

}  // namespace nuve::ui
