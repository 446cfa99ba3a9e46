#pragma once
// What the favourites folder holds, as sync items: every favourite and
// subfolder with the id it had at the last sync. An item keeps its id when
// it stays where it was, and when a file manager renamed or moved it (the
// same file: its inode, and for a favourite its size and time or its name
// too).
// Everything else is new and gets a fresh id.

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "core/favourites/favourites_store.h"
#include "core/sync/sync_item.h"

namespace nuve::core {

struct LocalEntry {
  SyncItem item;
  std::string path;  // relative to the store's folder, as on disk: "工具/新浪.url"
  std::uint64_t inode = 0;
  std::int64_t mtime_ns = 0;
  std::uint64_t size = 0;
};

struct LocalScan {
  bool ok = false;
  std::string error;
  std::vector<LocalEntry> entries;  // sorted by path

  SyncTree Tree() const;
};

// Reads the store's folder. `known` are the entries of the last sync: their
// ids are kept, and the address of a file whose inode, size and time are
// unchanged is taken from there without reading it. A favourite whose file
// cannot be read or holds no address keeps its known item (a file that
// cannot be read now is no deletion); one never known is left out. Hidden
// folders and links to folders are not entered; deeper than
// FavouritesStore::kMaxFolderDepth nothing is read. Fails when the store's
// folder exists but cannot be read, when it holds more than kMaxSyncItems
// items, or on a stop request.
LocalScan ScanFavourites(const FavouritesStore& store, const std::vector<LocalEntry>& known,
                         std::stop_token stop = {});

}  // namespace nuve::core
