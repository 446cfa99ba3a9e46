#pragma once
// The favourites as they travel, before encryption: JSON, packed with zlib.
//
//   {"v":1,"items":[["id","parent",0,"name","address"],["id","",1,"folder",""],...]}
//
// (0 a favourite, 1 a folder).

#include <optional>
#include <string>
#include <string_view>

#include "core/sync/sync_item.h"

namespace nuve::core {

// The packed text of `tree`.
std::string PackSyncTree(const SyncTree& tree);

// The tree in a packed text; nullopt when it is not one (not zlib, not the
// JSON above, a repeated or malformed id, more than kMaxSyncItems items, or
// more than 64 MiB unpacked). Names are made safe (SafeFavouriteName), an
// item whose folder is missing or is a favourite lands on the top level,
// favourites without an address are dropped.
std::optional<SyncTree> UnpackSyncTree(std::string_view packed);

}  // namespace nuve::core
