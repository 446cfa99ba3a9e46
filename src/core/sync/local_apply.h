#pragma once
// Makes the favourites folder hold a merged tree: renames and moves files
// and folders, deletes what the tree no longer has, creates what it adds
// and rewrites changed addresses. Items that move are first put aside in a
// hidden folder of the store (".nuve-sync-*"), so that swapped names and
// folders moved into each other never meet; a put-aside left by a crash is
// taken back by RecoverPutAside before the next scan.

#include <cstddef>
#include <stop_token>
#include <vector>

#include "core/favourites/favourites_store.h"
#include "core/sync/local_snapshot.h"
#include "core/util/status.h"

namespace nuve::core {

struct ApplyReport {
  Status status;  // the first step that failed
  std::size_t changed = 0;  // files and folders written, moved or deleted
  // Each item of the tree where it now is (relative paths, sorted), with
  // what a scan would find of its file: what the next sync compares with.
  // Only right when `status` is ok.
  std::vector<LocalEntry> expected;
};

// `local` is the scan the tree was merged from. A folder that still holds
// files the sync does not know (not favourites) is left in place. The files
// written are flushed to disk at the end.
ApplyReport ApplySyncTree(const FavouritesStore& store, const std::vector<LocalEntry>& local, const SyncTree& tree);

// Moves what a broken-off apply left aside back into the store's folder
// (under names of their own where theirs are taken). Returns how many items.
std::size_t RecoverPutAside(const FavouritesStore& store);

}  // namespace nuve::core
