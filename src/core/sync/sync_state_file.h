#pragma once
// What this machine remembers of the sync between runs, in the data folder
// ("favourites-sync.json", owner-only): the account and key generation it
// belongs to, the revision and content the service and this machine last
// agreed on (the merge's base), the items as they lay in the folder after
// the last sync (for their ids), and when the last sync succeeded. It holds
// names and addresses as the favourites folder beside it does, no key.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/sync/local_snapshot.h"
#include "core/sync/sync_item.h"
#include "core/util/status.h"

namespace nuve::core {

struct SyncState {
  std::string account;
  std::int64_t generation = 0;
  std::int64_t revision = -1;  // -1: never synced (no base)
  std::int64_t last_synced_ms = 0;
  SyncTree base;
  std::vector<LocalEntry> local;
};

// The state in `file`; an empty state (never synced) when the file is
// missing or damaged (a damaged state only costs a merge without base,
// which keeps everything of both sides).
SyncState LoadSyncState(const std::filesystem::path& file);
// Writes it atomically. Errors: kIo.
Status SaveSyncState(const std::filesystem::path& file, const SyncState& state);

}  // namespace nuve::core
