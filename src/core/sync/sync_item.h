#pragma once
// The favourites as the sync sees them: a flat set of items, each a
// favourite or a folder, known by an id that stays with it through renames
// and moves. The order of a folder is its names' order (the folder sorts
// them), so it needs no field of its own.

#include <cstddef>
#include <string>
#include <unordered_map>

namespace nuve::core {

struct SyncItem {
  std::string id;
  std::string parent;  // the folder's id; "" for the top level
  bool folder = false;
  std::string name;     // a name CheckFavouriteName accepts
  std::string address;  // favourites only

  bool operator==(const SyncItem&) const = default;
};

// Items by id.
using SyncTree = std::unordered_map<std::string, SyncItem>;

// A fresh id: 16 random hexadecimal digits.
std::string NewSyncId();
// Whether `id` could be one: 1 to 64 of [0-9A-Za-z_-].
bool IsSyncId(const std::string& id);

// At most this many items take part in the sync.
inline constexpr std::size_t kMaxSyncItems = 100000;

}  // namespace nuve::core
