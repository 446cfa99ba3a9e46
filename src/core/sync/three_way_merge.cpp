#include "core/sync/three_way_merge.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/favourites/favourite_name.h"
#include "core/favourites/favourites_store.h"

namespace nuve::core {
namespace {

// Folders an item may have above it: the store reads subfolders below the
// top level down to FavouritesStore::kMaxFolderDepth - 1 levels.
constexpr int kMaxSyncDepth = FavouritesStore::kMaxFolderDepth - 2;

const SyncItem* Find(const SyncTree& tree, const std::string& id) {
  const auto it = tree.find(id);
  return it == tree.end() ? nullptr : &it->second;
}

std::size_t Differences(const SyncTree& base, const SyncTree& side) {
  std::size_t n = 0;
  for (const auto& [id, item] : side) {
    const SyncItem* b = Find(base, id);
    if (b == nullptr || !(*b == item)) ++n;
  }
  for (const auto& [id, item] : base) {
    if (side.count(id) == 0) ++n;
  }
  return n;
}

// Both sides changed the item. Each field takes the side that changed it;
// true when a field was changed on both sides to different values (the
// service's value is taken then).
bool MergeFields(const SyncItem& b, const SyncItem& l, const SyncItem& r, SyncItem& out) {
  bool conflict = false;
  const auto field = [&](std::string SyncItem::*f) {
    const bool lc = l.*f != b.*f;
    const bool rc = r.*f != b.*f;
    if (lc && rc && l.*f != r.*f) conflict = true;
    out.*f = (lc && !rc) ? l.*f : r.*f;
  };
  out = b;
  field(&SyncItem::parent);
  field(&SyncItem::name);
  field(&SyncItem::address);
  out.folder = r.folder;
  return conflict;
}

// Folders that an item needs and the merge dropped come back, from the side
// that has them.
void RestoreParents(SyncTree& out, const SyncTree& base, const SyncTree& local, const SyncTree& remote) {
  std::vector<std::string> missing;
  do {
    missing.clear();
    for (const auto& [id, item] : out) {
      if (!item.parent.empty() && out.count(item.parent) == 0) missing.push_back(item.parent);
    }
    for (const std::string& id : missing) {
      if (out.count(id) > 0) continue;
      const SyncItem* from = Find(remote, id);
      if (from == nullptr) from = Find(local, id);
      if (from == nullptr) from = Find(base, id);
      if (from != nullptr && from->folder) {
        out.emplace(id, *from);
      } else {
        for (auto& [child_id, child] : out) {
          if (child.parent == id) child.parent.clear();
        }
      }
    }
  } while (!missing.empty());
}

void FixParents(SyncTree& tree) {
  for (auto& [id, item] : tree) {
    if (item.parent.empty()) continue;
    const SyncItem* parent = Find(tree, item.parent);
    if (parent == nullptr || !parent->folder || item.parent == id) item.parent.clear();
  }
  // Loops: walking up from an item must reach the top level. Each item is
  // walked once; in id order, so that the same loop is broken the same way.
  std::vector<std::string> ids;
  ids.reserve(tree.size());
  for (const auto& [id, item] : tree) ids.push_back(id);
  std::sort(ids.begin(), ids.end());
  enum class Mark { kOnPath, kDone };
  std::unordered_map<std::string, Mark> marks;
  std::unordered_map<std::string, int> depth;  // folders above the item
  for (const std::string& start : ids) {
    std::vector<std::string> path;
    std::string at = start;
    while (!at.empty() && marks.count(at) == 0) {
      marks[at] = Mark::kOnPath;
      path.push_back(at);
      at = tree[at].parent;
    }
    if (!at.empty() && marks[at] == Mark::kOnPath) {
      tree[at].parent.clear();  // closes a loop: goes to the top level
      depth[at] = 0;
    }
    // Depths, from the top down; no deeper than the store looks (an item
    // below the depth it reads would read as deleted at the next sync).
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
      SyncItem& item = tree[*it];
      int d = item.parent.empty() ? 0 : depth[item.parent] + 1;
      if (d > kMaxSyncDepth) {
        std::string up = item.parent;
        while (depth[up] >= kMaxSyncDepth) up = tree[up].parent;
        item.parent = up;
        d = depth[up] + 1;
      }
      depth[*it] = d;
      marks[*it] = Mark::kDone;
    }
  }
}

std::string NameKey(const SyncItem& item) { return item.parent + '\x1f' + item.name; }

// Ids in the order in which items of one name keep it: one both sides knew
// before (in `base`) first, then by id, so that the order is stable.
std::vector<std::string> Ordered(const SyncTree& tree, const SyncTree* base) {
  std::vector<std::pair<bool, std::string>> keyed;
  keyed.reserve(tree.size());
  for (const auto& [id, item] : tree) keyed.emplace_back(!(base != nullptr && base->count(id) > 0), id);
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::string> ids;
  ids.reserve(keyed.size());
  for (auto& [fresh, id] : keyed) ids.push_back(std::move(id));
  return ids;
}

std::size_t UniqueNames(SyncTree& tree, const SyncTree* base) {
  std::size_t renamed = 0;
  for (bool changed = true; changed;) {
    changed = false;
    // Mostly every name is taken once: then there is nothing to order.
    std::unordered_map<std::string, int> folder_names;
    std::unordered_map<std::string, int> favourite_names;
    bool clash = false;
    for (const auto& [id, item] : tree) clash |= ++(item.folder ? folder_names : favourite_names)[NameKey(item)] > 1;
    if (!clash) break;
    const std::vector<std::string> ids = Ordered(tree, base);
    // Folders of one name in one folder become the first of them.
    std::unordered_map<std::string, std::string> folder_of;
    std::unordered_map<std::string, std::string> merged_into;
    for (const std::string& id : ids) {
      const SyncItem& item = tree[id];
      if (!item.folder) continue;
      const auto [it, fresh] = folder_of.emplace(NameKey(item), id);
      if (!fresh) merged_into[id] = it->second;
    }
    if (!merged_into.empty()) {
      for (auto& [id, item] : tree) {
        if (const auto it = merged_into.find(item.parent); it != merged_into.end()) item.parent = it->second;
      }
      for (const auto& [id, into] : merged_into) tree.erase(id);
      changed = true;
      continue;
    }
    // Favourites: one name and one address become one; another address
    // under a taken name gets a number.
    std::unordered_map<std::string, std::set<std::string>> addresses_of;  // by name key
    std::unordered_map<std::string, std::set<std::string>> names_in;      // by folder
    for (const auto& [id, item] : tree) {
      if (!item.folder) names_in[item.parent].insert(item.name);
    }
    for (const std::string& id : ids) {
      SyncItem& item = tree[id];
      if (item.folder) continue;
      const std::string key = NameKey(item);
      if (favourite_names[key] < 2) continue;
      auto [seen, first] = addresses_of.try_emplace(key);
      if (first) {
        seen->second.insert(item.address);  // the one that keeps the name
        continue;
      }
      if (!seen->second.insert(item.address).second) {
        tree.erase(id);
        changed = true;
        continue;
      }
      std::set<std::string>& taken = names_in[item.parent];
      const std::string stem = item.name.substr(0, kMaxFavouriteNameBytes - 12);
      std::string name;
      for (int n = 2;; ++n) {
        name = SafeFavouriteName(stem + " (" + std::to_string(n) + ")");
        if (taken.count(name) == 0) break;
      }
      taken.insert(name);
      item.name = name;
      ++renamed;
      changed = true;
    }
  }
  return renamed;
}

}  // namespace

std::size_t NormaliseSyncTree(SyncTree& tree, const SyncTree* base) {
  FixParents(tree);
  return UniqueNames(tree, base);
}

SyncTree MergeSyncTrees(const SyncTree& base, const SyncTree& local, const SyncTree& remote, MergeReport* report) {
  MergeReport counts;
  counts.local_changes = Differences(base, local);
  counts.remote_changes = Differences(base, remote);
  std::unordered_set<std::string> ids;
  ids.reserve(base.size() + local.size() + remote.size());
  for (const SyncTree* tree : {&base, &local, &remote}) {
    for (const auto& [id, item] : *tree) ids.insert(id);
  }
  SyncTree out;
  out.reserve(ids.size());
  for (const std::string& id : ids) {
    const SyncItem* b = Find(base, id);
    const SyncItem* l = Find(local, id);
    const SyncItem* r = Find(remote, id);
    if (l != nullptr && r != nullptr) {
      if (b != nullptr && *l == *b) {
        out.emplace(id, *r);
      } else if ((b != nullptr && *r == *b) || *l == *r) {
        out.emplace(id, *l);
      } else {
        SyncItem merged;
        const SyncItem empty{id, "", r->folder, "", ""};
        const bool conflict = MergeFields(b != nullptr ? *b : empty, *l, *r, merged);
        if (conflict && !r->folder && !l->folder) {
          // Both versions stay: the service's under the id, this machine's as a copy.
          out.emplace(id, *r);
          SyncItem copy = *l;
          copy.id = NewSyncId();
          out.emplace(copy.id, std::move(copy));
          ++counts.kept_both;
        } else {
          out.emplace(id, std::move(merged));
        }
      }
    } else if (l != nullptr) {
      // Deleted on the service: gone unless this machine changed it.
      if (b == nullptr || !(*l == *b)) out.emplace(id, *l);
    } else if (r != nullptr) {
      if (b == nullptr || !(*r == *b)) out.emplace(id, *r);
    }
  }
  RestoreParents(out, base, local, remote);
  counts.renamed = NormaliseSyncTree(out, &base);
  if (report != nullptr) *report = counts;
  return out;
}

}  // namespace nuve::core
