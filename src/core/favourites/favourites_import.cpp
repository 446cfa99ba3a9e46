#include "core/favourites/favourites_import.h"

#include <glib.h>

#include <functional>
#include <map>
#include <set>
#include <string>

#include "core/app/log.h"
#include "core/favourites/favourite_name.h"
#include "core/favourites/netscape_html.h"
#include "core/util/atomic_file.h"

namespace nuve::core {
namespace {

constexpr std::size_t kMaxAddressBytes = 8 * 1024;

std::string TrimmedAddress(std::string_view address) {
  const auto first = address.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return std::string(address.substr(first, address.find_last_not_of(" \t\r\n") - first + 1));
}

// A name for a bookmark that has none: its address without the scheme.
std::string NameFromAddress(const std::string& address) {
  std::string_view rest = address;
  if (const auto scheme = rest.find("://"); scheme != std::string_view::npos) rest.remove_prefix(scheme + 3);
  while (rest.ends_with('/')) rest.remove_suffix(1);
  return std::string(rest);
}

// What a folder of the store holds, read once when the import first writes
// into it.
struct FolderContent {
  std::set<std::string> names;
  std::set<std::string> addresses;
  std::map<std::string, std::filesystem::path> folders;
};

class Importer {
 public:
  Importer(const FavouritesStore& store, std::stop_token stop) : store_(store), stop_(std::move(stop)) {}

  void Folder(const BookmarkNode& folder, const std::filesystem::path& dir) {
    for (const BookmarkNode& node : folder.children) {
      if (stop_.stop_requested()) return;
      if (node.folder) {
        const std::filesystem::path sub = Subfolder(dir, node.name);
        if (!sub.empty()) Folder(node, sub);
        continue;
      }
      Bookmark(node, dir);
    }
  }

  ImportReport& report() { return report_; }

 private:
  FolderContent& Content(const std::filesystem::path& dir) {
    const auto found = content_.find(dir);
    if (found != content_.end()) return found->second;
    FolderContent& content = content_[dir];
    for (const FavouriteEntry& entry : store_.ListFolder(dir)) {
      if (entry.is_folder) {
        content.folders.emplace(entry.title, entry.file);
      } else {
        content.names.insert(entry.title);
        content.addresses.insert(store_.ReadAddress(entry));
      }
    }
    return content;
  }

  std::filesystem::path Subfolder(const std::filesystem::path& dir, const std::string& raw_name) {
    FolderContent& content = Content(dir);
    const std::string name = SafeFavouriteName(raw_name, /*folder=*/true, "导入的文件夹");
    if (const auto it = content.folders.find(name); it != content.folders.end()) return it->second;
    const FavouriteAdded made = store_.CreateFolder(name, dir);
    if (!made.status.ok()) {
      Fail(made.status);
      return {};
    }
    content.folders.emplace(name, made.entry.file);
    return made.entry.file;
  }

  void Bookmark(const BookmarkNode& node, const std::filesystem::path& dir) {
    const std::string address = TrimmedAddress(node.address);
    if (!IsImportableAddress(address)) {
      ++report_.unusable;
      return;
    }
    FolderContent& content = Content(dir);
    if (!content.addresses.insert(address).second) {
      ++report_.duplicates;
      return;
    }
    const std::string base = SafeFavouriteName(node.name.empty() ? NameFromAddress(address) : node.name);
    std::string name = base;
    for (int n = 2; content.names.count(name) > 0; ++n) {
      name = SafeFavouriteName(base.substr(0, kMaxFavouriteNameBytes - 12) + " (" + std::to_string(n) + ")");
    }
    const FavouriteAdded added = store_.WriteNew(name, address, dir, /*flush=*/false);
    if (!added.status.ok()) {
      Fail(added.status);
      return;
    }
    content.names.insert(name);
    ++report_.imported;
  }

  void Fail(const Status& status) {
    ++report_.failed;
    LogWarning("favourites import", status.error().detail);
    if (report_.status.ok()) report_.status = status;
  }

  const FavouritesStore& store_;
  std::stop_token stop_;
  ImportReport report_;
  std::map<std::filesystem::path, FolderContent> content_;
};

void ReadFolder(const FavouritesStore& store, const std::filesystem::path& dir, BookmarkNode& into, int depth) {
  for (const FavouriteEntry& entry : store.ListFolder(dir)) {
    if (entry.is_folder) {
      if (depth >= FavouritesStore::kMaxFolderDepth) continue;
      BookmarkNode folder{entry.title, "", true, {}};
      ReadFolder(store, entry.file, folder, depth + 1);
      into.children.push_back(std::move(folder));
    } else if (std::string address = store.ReadAddress(entry); !address.empty()) {
      into.children.push_back({entry.title, std::move(address), false, {}});
    }
  }
}

}  // namespace

bool IsImportableAddress(std::string_view address) {
  if (address.empty() || address.size() > kMaxAddressBytes) return false;
  for (const char* scheme : {"http://", "https://", "ftp://", "file://"}) {
    const std::size_t n = std::char_traits<char>::length(scheme);
    if (address.size() > n && g_ascii_strncasecmp(address.data(), scheme, n) == 0) return true;
  }
  return false;
}

ImportReport ImportBookmarks(const FavouritesStore& store, const BookmarkNode& root, std::stop_token stop) {
  Importer importer(store, std::move(stop));
  if (const Status made = store.EnsureFolder(); !made.ok()) {
    importer.report().status = made;
    return importer.report();
  }
  importer.Folder(root, store.folder());
  if (importer.report().imported > 0) {
    if (const Status flushed = FlushFileSystem(store.folder()); !flushed.ok()) {
      LogWarning("favourites import", flushed.error().detail);
    }
  }
  return importer.report();
}

BookmarkNode ReadFavouritesTree(const FavouritesStore& store) {
  BookmarkNode root{"", "", true, {}};
  ReadFolder(store, store.folder(), root, 0);
  return root;
}

std::size_t CountBookmarks(const BookmarkNode& root) {
  std::size_t count = 0;
  for (const BookmarkNode& node : root.children) count += node.folder ? CountBookmarks(node) : 1;
  return count;
}

Status ExportFavourites(const FavouritesStore& store, const std::filesystem::path& file, std::size_t* count) {
  const BookmarkNode root = ReadFavouritesTree(store);
  if (count != nullptr) *count = CountBookmarks(root);
  return WriteFileAtomically(file, WriteNetscapeHtml(root));
}

}  // namespace nuve::core
