#include "core/sync/local_snapshot.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "core/util/legacy_text.h"

namespace nuve::core {
namespace {

struct Found {
  std::string path;
  std::string parent_path;
  bool folder = false;
  std::string title;
  std::uint64_t inode = 0;
  std::int64_t mtime_ns = 0;
  std::uint64_t size = 0;
};

std::string Join(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

// Every favourite file and folder below the store's folder. False when the
// folder itself exists but cannot be read. Each folder is read through its
// descriptor, and an entry costs one stat.
bool Walk(const std::filesystem::path& root, std::vector<Found>& found, std::string& error, std::stop_token& stop) {
  struct Dir {
    std::string path;
    int depth;
  };
  std::vector<Dir> pending{{"", 0}};
  while (!pending.empty()) {
    if (stop.stop_requested()) {
      error = "stopped";
      return false;
    }
    const Dir dir = pending.back();
    pending.pop_back();
    const std::filesystem::path abs = dir.path.empty() ? root : root / dir.path;
    const int fd = ::open(abs.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* handle = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (handle == nullptr) {
      const int error_number = errno;
      if (fd >= 0) ::close(fd);
      if (dir.path.empty() && error_number == ENOENT) return true;  // no folder yet: no favourites
      if (dir.path.empty()) {
        error = root.string() + ": " + std::strerror(error_number);
        return false;
      }
      continue;  // a subfolder that went or cannot be read is left as it is
    }
    while (const dirent* e = ::readdir(handle)) {
      const char* name = e->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      unsigned char type = e->d_type;
      struct stat st {};
      if (type == DT_UNKNOWN) {
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
      }
      if (type == DT_DIR) {
        if (name[0] == '.' || dir.depth + 1 >= FavouritesStore::kMaxFolderDepth) continue;
        // The folder's own inode (readdir's may differ on layered file systems).
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) continue;
        std::string rel = Join(dir.path, name);
        found.push_back({rel, dir.path, true, DecodeLegacyText(name), static_cast<std::uint64_t>(st.st_ino), 0, 0});
        pending.push_back({std::move(rel), dir.depth + 1});
        continue;
      }
      std::string title = FavouriteTitleOf(name);
      if (title.empty()) continue;
      // A link to a file counts as that file, as the store lists it.
      if (::fstatat(fd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
      const std::int64_t mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
      found.push_back({Join(dir.path, name), dir.path, false, std::move(title), static_cast<std::uint64_t>(st.st_ino),
                       mtime, static_cast<std::uint64_t>(st.st_size)});
    }
    ::closedir(handle);  // closes fd too
  }
  return true;
}

}  // namespace

SyncTree LocalScan::Tree() const {
  SyncTree tree;
  tree.reserve(entries.size());
  for (const LocalEntry& e : entries) tree.emplace(e.item.id, e.item);
  return tree;
}

LocalScan ScanFavourites(const FavouritesStore& store, const std::vector<LocalEntry>& known, std::stop_token stop) {
  LocalScan scan;
  std::vector<Found> found;
  if (!Walk(store.folder(), found, scan.error, stop)) return scan;
  if (found.size() > kMaxSyncItems) {
    // Leaving some out would read as deleting them.
    scan.error = "more than " + std::to_string(kMaxSyncItems) + " favourites and folders";
    return scan;
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.path < b.path; });

  std::unordered_map<std::string, const LocalEntry*> by_path;
  std::unordered_multimap<std::uint64_t, const LocalEntry*> by_inode;
  by_path.reserve(known.size());
  by_inode.reserve(known.size());
  for (const LocalEntry& k : known) {
    by_path.emplace(k.path, &k);
    if (k.inode != 0) by_inode.emplace(k.inode, &k);
  }
  std::unordered_set<std::string> taken;  // known ids given out already
  taken.reserve(known.size());
  std::vector<const LocalEntry*> match(found.size(), nullptr);
  // Pass 1: the same path and kind.
  for (std::size_t i = 0; i < found.size(); ++i) {
    const auto it = by_path.find(found[i].path);
    if (it != by_path.end() && it->second->item.folder == found[i].folder && taken.insert(it->second->item.id).second) {
      match[i] = it->second;
    }
  }
  // Pass 2: renamed or moved, the same file.
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (match[i] != nullptr || found[i].inode == 0) continue;
    const auto [first, last] = by_inode.equal_range(found[i].inode);
    for (auto it = first; it != last; ++it) {
      const LocalEntry& k = *it->second;
      // A reused inode is no proof for a file: it must be untouched, or
      // keep its name (moved and then edited).
      const bool same = k.item.folder == found[i].folder &&
                        (found[i].folder || (k.size == found[i].size && k.mtime_ns == found[i].mtime_ns) ||
                         k.item.name == found[i].title);
      if (same && taken.insert(k.item.id).second) {
        match[i] = &k;
        break;
      }
    }
  }
  std::unordered_map<std::string, std::string> id_of_path;
  id_of_path.reserve(found.size() / 8 + 16);
  scan.entries.reserve(found.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    const Found& f = found[i];
    const LocalEntry* k = match[i];
    LocalEntry entry;
    entry.path = f.path;
    entry.inode = f.inode;
    entry.mtime_ns = f.mtime_ns;
    entry.size = f.size;
    entry.item.id = k != nullptr ? k->item.id : NewSyncId();
    entry.item.folder = f.folder;
    entry.item.name = f.title;
    if (!f.folder) {
      const bool unchanged = k != nullptr && k->inode == f.inode && k->size == f.size && k->mtime_ns == f.mtime_ns &&
                             !k->item.address.empty();
      entry.item.address = unchanged ? k->item.address
                                     : store.ReadAddress({f.title, store.folder() / f.path, false});
      if (entry.item.address.empty()) {
        if (k == nullptr || k->item.address.empty()) continue;  // no favourite yet
        entry.item.address = k->item.address;                   // unreadable now: as it was
        entry.mtime_ns = 0;                                     // read again next time
      }
    }
    // Parents come before their children in path order.
    const auto parent = id_of_path.find(f.parent_path);
    entry.item.parent = parent != id_of_path.end() ? parent->second : "";
    if (f.folder) id_of_path[f.path] = entry.item.id;
    scan.entries.push_back(std::move(entry));
  }
  scan.ok = true;
  return scan;
}

}  // namespace nuve::core
