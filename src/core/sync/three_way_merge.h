#pragma once
// The merge of the favourites of this machine and of the service against
// the state both last agreed on. Additions, deletions, renames and moves
// of either side all survive; a field changed on one side only takes that
// side's value. Nothing is lost silently:
// - a favourite changed on both sides, differently, stays as the service
//   has it, and this machine's version is kept beside it as a copy;
// - an item deleted on one side but changed on the other stays, changed;
// - a folder deleted on one side keeps what the other side added to it;
// - a folder changed on both sides takes the service's name or place;
// - folders moved into each other on the two sides: the one that would
//   close the loop goes to the top level.
// Finally names are made unique in each folder: folders of one name become
// one, favourites of one name and one address become one, and a favourite
// whose name is taken by another address gets " (2)", " (3)"...

#include <cstddef>

#include "core/sync/sync_item.h"

namespace nuve::core {

struct MergeReport {
  std::size_t local_changes = 0;   // items that differ between base and local
  std::size_t remote_changes = 0;  // items that differ between base and remote
  std::size_t kept_both = 0;       // favourites changed on both sides: copies made
  std::size_t renamed = 0;         // names changed to keep a folder's names apart
};

SyncTree MergeSyncTrees(const SyncTree& base, const SyncTree& local, const SyncTree& remote,
                        MergeReport* report = nullptr);

// Parents missing or no folder become the top level, loops are broken and
// names are made unique: what MergeSyncTrees does last, for a tree from
// anywhere. Of items of one name, one in `base` keeps it. Returns how many
// names it changed.
std::size_t NormaliseSyncTree(SyncTree& tree, const SyncTree* base = nullptr);

}  // namespace nuve::core
