#include "core/sync/local_apply.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <unordered_map>

#include "core/app/log.h"
#include "core/favourites/url_file.h"
#include "core/util/atomic_file.h"

namespace nuve::core {
namespace {

constexpr char kPutAsidePrefix[] = ".nuve-sync-";

std::string Join(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

std::string FileName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int Depth(const std::string& path) { return static_cast<int>(std::count(path.begin(), path.end(), '/')); }

class Applier {
 public:
  Applier(const FavouritesStore& store, const std::vector<LocalEntry>& local, const SyncTree& tree)
      : store_(store), root_(store.folder()), tree_(tree) {
    for (const LocalEntry& e : local) local_.emplace(e.item.id, &e);
  }

  ApplyReport Run() {
    Plan();
    if (!moving_.empty() || !deleting_.empty()) {
      if (!MakePutAside()) return std::move(report_);
    }
    PutAside();
    Delete();
    Place();
    if (!aside_.empty()) {
      std::error_code ec;
      std::filesystem::remove(aside_, ec);  // empty unless a step failed
    }
    if (report_.changed > 0) {
      if (const Status flushed = FlushFileSystem(root_); !flushed.ok()) Fail(flushed);
    }
    report_.expected.reserve(tree_.size());
    for (const auto& [id, item] : tree_) {
      const LocalEntry* was = Local(id);
      LocalEntry e;
      e.item = item;
      e.path = Final(id);
      if (was != nullptr && was->path == e.path && was->item == item) {
        // A file left as it was keeps what the scan knew of it.
        e.inode = was->inode;
        e.mtime_ns = was->mtime_ns;
        e.size = was->size;
      } else {
        // One written or moved is looked at once more, for what the next
        // scan will compare.
        struct stat st {};
        if (::stat((root_ / e.path).c_str(), &st) == 0) {
          e.inode = static_cast<std::uint64_t>(st.st_ino);
          if (!item.folder) {
            e.mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            e.size = static_cast<std::uint64_t>(st.st_size);
          }
        }
      }
      report_.expected.push_back(std::move(e));
    }
    std::sort(report_.expected.begin(), report_.expected.end(),
              [](const LocalEntry& a, const LocalEntry& b) { return a.path < b.path; });
    return std::move(report_);
  }

 private:
  const LocalEntry* Local(const std::string& id) const {
    const auto it = local_.find(id);
    return it == local_.end() ? nullptr : it->second;
  }

  // The file name an item of the tree gets: the one it has when its name
  // stayed (a GBK name, ".URL"), else its name (+ ".url").
  std::string Name(const std::string& id) const {
    const SyncItem& item = tree_.at(id);
    const LocalEntry* was = Local(id);
    if (was != nullptr && was->item.name == item.name && was->item.folder == item.folder) return FileName(was->path);
    return item.folder ? item.name : item.name + ".url";
  }

  // Where an item of the tree ends up.
  std::string Final(const std::string& id) {
    if (const auto it = final_.find(id); it != final_.end()) return it->second;
    const SyncItem& item = tree_.at(id);
    std::string path = Join(item.parent.empty() ? "" : Final(item.parent), Name(id));
    final_[id] = path;
    return path;
  }

  void Plan() {
    for (const auto& [id, item] : tree_) {
      const LocalEntry* was = Local(id);
      if (was == nullptr) continue;
      // An item moves when its folder or its file name changes; the content
      // of a folder that moves goes with it.
      if (was->item.parent != item.parent || FileName(was->path) != Name(id)) moving_.push_back(id);
    }
    for (const auto& [id, was] : local_) {
      if (tree_.count(id) == 0) deleting_.push_back(id);
    }
    // Deepest first: an item leaves its folder before the folder goes.
    const auto deeper = [this](const std::string& a, const std::string& b) {
      return Depth(local_.at(a)->path) > Depth(local_.at(b)->path);
    };
    std::sort(moving_.begin(), moving_.end(), deeper);
    std::sort(deleting_.begin(), deleting_.end(), deeper);
  }

  bool MakePutAside() {
    std::string pattern = (root_ / (std::string(kPutAsidePrefix) + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      Fail(Error{ErrorKind::kIo, root_.string() + ": " + std::strerror(errno)});
      return false;
    }
    aside_ = pattern;
    return true;
  }

  // Where a local item is now, with what was put aside already.
  std::filesystem::path Current(const std::string& id) {
    if (const auto it = asided_.find(id); it != asided_.end()) return it->second;
    const LocalEntry* was = Local(id);
    const std::filesystem::path parent = was->item.parent.empty() || Local(was->item.parent) == nullptr
                                             ? root_
                                             : Current(was->item.parent);
    return parent / FileName(was->path);
  }

  void PutAside() {
    for (const std::string& id : moving_) {
      const std::filesystem::path from = Current(id);
      const std::filesystem::path to = aside_ / id;
      if (std::rename(from.c_str(), to.c_str()) != 0) {
        Fail(Error{ErrorKind::kIo, from.string() + ": " + std::strerror(errno)});
        continue;
      }
      asided_[id] = to;
      ++report_.changed;
    }
  }

  void Delete() {
    for (const std::string& id : deleting_) {
      const std::filesystem::path path = Current(id);
      const bool folder = local_.at(id)->item.folder;
      if ((folder ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) == 0) {
        ++report_.changed;
      } else if (errno != ENOENT) {
        // A folder that holds files the sync does not know stays.
        LogWarning("favourites sync", "cannot delete " + path.string() + ": " + std::strerror(errno));
      }
    }
  }

  // Parents before children; only what is new, moved or changed.
  void Place() {
    std::vector<std::string> order;
    for (const auto& [id, item] : tree_) {
      const LocalEntry* was = Local(id);
      if (was == nullptr || asided_.count(id) > 0 || (!item.folder && was->item.address != item.address)) {
        order.push_back(id);
      }
    }
    std::sort(order.begin(), order.end(), [this](const std::string& a, const std::string& b) {
      const int da = Depth(Final(a));
      const int db = Depth(Final(b));
      return da != db ? da < db : a < b;
    });
    for (const std::string& id : order) {
      const SyncItem& item = tree_.at(id);
      const LocalEntry* was = Local(id);
      const std::filesystem::path target = root_ / Final(id);
      if (was == nullptr) {
        Create(item, target);
        continue;
      }
      if (const auto it = asided_.find(id); it != asided_.end()) {
        if (std::rename(it->second.c_str(), target.c_str()) != 0) {
          Fail(Error{ErrorKind::kIo, target.string() + ": " + std::strerror(errno)});
          continue;
        }
        ++report_.changed;
      }
      if (!item.folder && was->item.address != item.address) Write(item, target);
    }
  }

  void Create(const SyncItem& item, const std::filesystem::path& target) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(target, ec))) {
      // Something the sync does not know took the name meanwhile; the next
      // scan finds both.
      if (!item.folder || !std::filesystem::is_directory(target, ec)) {
        Fail(Error{ErrorKind::kIo, target.string() + " exists"});
      }
      return;
    }
    if (item.folder) {
      if (::mkdir(target.c_str(), 0755) != 0) {
        Fail(Error{ErrorKind::kIo, target.string() + ": " + std::strerror(errno)});
        return;
      }
      ++report_.changed;
      return;
    }
    Write(item, target);
  }

  void Write(const SyncItem& item, const std::filesystem::path& target) {
    if (const Status written = WriteFileAtomically(target, UrlFileContent(item.address), 0644, false); !written.ok()) {
      Fail(written);
      return;
    }
    ++report_.changed;
  }

  void Fail(const Status& status) {
    LogWarning("favourites sync", status.error().detail);
    if (report_.status.ok()) report_.status = status;
  }

  const FavouritesStore& store_;
  const std::filesystem::path root_;
  const SyncTree& tree_;
  std::unordered_map<std::string, const LocalEntry*> local_;
  std::unordered_map<std::string, std::string> final_;
  std::vector<std::string> moving_;
  std::vector<std::string> deleting_;
  std::filesystem::path aside_;
  std::unordered_map<std::string, std::filesystem::path> asided_;
  ApplyReport report_;
};

}  // namespace

ApplyReport ApplySyncTree(const FavouritesStore& store, const std::vector<LocalEntry>& local, const SyncTree& tree) {
  if (const Status made = store.EnsureFolder(); !made.ok()) {
    ApplyReport report;
    report.status = made;
    return report;
  }
  return Applier(store, local, tree).Run();
}

std::size_t RecoverPutAside(const FavouritesStore& store) {
  std::size_t recovered = 0;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(store.folder(), ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(kPutAsidePrefix) || !it->is_directory()) continue;
    std::error_code inner;
    for (std::filesystem::directory_iterator item(it->path(), inner);
         !inner && item != std::filesystem::directory_iterator(); item.increment(inner)) {
      // The put-aside names are ids: the item comes back as a new one, under
      // a name that says where it was.
      const bool folder = item->is_directory();
      std::string target_name = "同步恢复 " + item->path().filename().string();
      std::filesystem::path target = store.folder() / (folder ? target_name : target_name + ".url");
      std::error_code exists;
      for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(target, exists)); ++n) {
        const std::string numbered = target_name + " (" + std::to_string(n) + ")";
        target = store.folder() / (folder ? numbered : numbered + ".url");
      }
      if (std::rename(item->path().c_str(), target.c_str()) == 0) ++recovered;
    }
    std::filesystem::remove(it->path(), inner);
    LogWarning("favourites sync", "took back " + std::to_string(recovered) + " items left aside in " + name);
  }
  return recovered;
}

}  // namespace nuve::core
