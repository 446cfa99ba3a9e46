#include "core/favourites/favourites_store.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <system_error>

#include "core/app/log.h"
#include "core/favourites/url_file.h"
#include "core/util/atomic_file.h"
#include "core/util/legacy_text.h"

namespace nuve::core {
namespace {

constexpr std::string_view kExtension = ".url";

// The title of a file named `name`, or "" when it is no favourite.
std::string TitleOf(const std::string& name) {
  if (name.size() <= kExtension.size()) return {};
  const std::string_view ext = std::string_view(name).substr(name.size() - kExtension.size());
  if (g_ascii_strncasecmp(ext.data(), kExtension.data(), kExtension.size()) != 0) return {};
  return DecodeLegacyText(std::string_view(name).substr(0, name.size() - kExtension.size()));
}

// Names sort as a file manager sorts them ("a2" before "a10"), and upper and
// lower case together whatever the locale.
std::string SortKey(const std::string& title) {
  gchar* folded = g_utf8_casefold(title.c_str(), static_cast<gssize>(title.size()));
  gchar* key = g_utf8_collate_key_for_filename(folded, -1);
  std::string result(key);
  g_free(key);
  g_free(folded);
  return result;
}

// Reads up to `limit` bytes of a regular file; false when it cannot be read.
// Opening never blocks, even on a pipe put there under a favourite's name.
bool ReadHead(const std::filesystem::path& path, size_t limit, std::string& bytes, bool& truncated) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  bytes.assign(ok ? limit : 0, '\0');
  size_t got = 0;
  while (ok && got < limit) {
    const ssize_t n = ::read(fd, bytes.data() + got, limit - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  truncated = ok && static_cast<size_t>(st.st_size) > got;
  return ok;
}

}  // namespace

FavouritesStore::FavouritesStore(std::filesystem::path folder) : folder_(folder.lexically_normal()) {
  // Entries are checked against the folder by their parent path, which has
  // no trailing separator.
  if (!folder_.has_filename() && folder_.has_parent_path()) folder_ = folder_.parent_path();
}

std::string FavouriteTitleOf(const std::string& file_name) { return TitleOf(file_name); }

Status FavouritesStore::EnsureFolder() const {
  std::error_code ec;
  if (std::filesystem::is_directory(folder_, ec)) return {};
  std::filesystem::create_directories(folder_, ec);
  if (ec) return Error{ErrorKind::kIo, folder_.string() + ": " + ec.message()};
  return {};
}

std::vector<FavouriteEntry> FavouritesStore::List() const {
  std::vector<FavouriteEntry> favourites;
  ListInto(folder_, nullptr, &favourites);
  return favourites;
}

// The favourites and subfolders directly in `dir`, each sorted. Subfolders
// are real folders only (a link to a folder is none), and hidden ones (a
// leading dot, where the sync keeps its work) are left out.
void FavouritesStore::ListInto(const std::filesystem::path& dir, std::vector<FavouriteEntry>* folders,
                               std::vector<FavouriteEntry>* favourites) const {
  std::vector<std::pair<std::string, FavouriteEntry>> keyed_folders;
  std::vector<std::pair<std::string, FavouriteEntry>> keyed;
  std::error_code ec;
  std::filesystem::directory_iterator it(dir, ec);
  if (ec) {
    if (ec != std::errc::no_such_file_or_directory) {
      LogWarning("favourites", "cannot list " + dir.string() + ": " + ec.message());
    }
    return;
  }
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().native();
    std::error_code type_ec;
    if (folders != nullptr && !name.starts_with('.') && it->is_directory(type_ec) && !it->is_symlink(type_ec)) {
      std::string title = DecodeLegacyText(name);
      std::string key = SortKey(title);
      keyed_folders.emplace_back(std::move(key), FavouriteEntry{std::move(title), it->path(), true});
      continue;
    }
    if (favourites == nullptr) continue;
    std::string title = TitleOf(name);
    if (title.empty() || !it->is_regular_file(type_ec)) continue;
    std::string key = SortKey(title);
    keyed.emplace_back(std::move(key), FavouriteEntry{std::move(title), it->path()});
  }
  if (ec) LogWarning("favourites", "listing " + dir.string() + " stopped: " + ec.message());
  const auto sorted = [](std::vector<std::pair<std::string, FavouriteEntry>>& list, std::vector<FavouriteEntry>& out) {
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
      if (a.first != b.first) return a.first < b.first;
      return a.second.file.native() < b.second.file.native();
    });
    out.reserve(out.size() + list.size());
    for (auto& [key, entry] : list) out.push_back(std::move(entry));
  };
  if (folders != nullptr) sorted(keyed_folders, *folders);
  if (favourites != nullptr) sorted(keyed, *favourites);
}

std::vector<FavouriteEntry> FavouritesStore::ListFolder(const std::filesystem::path& folder) const {
  if (!IsStoreFolder(folder)) return {};
  std::vector<FavouriteEntry> entries;
  std::vector<FavouriteEntry> favourites;
  ListInto(folder.lexically_normal(), &entries, &favourites);
  entries.insert(entries.end(), std::make_move_iterator(favourites.begin()), std::make_move_iterator(favourites.end()));
  return entries;
}

std::vector<FavouriteEntry> FavouritesStore::AllFolders(std::size_t limit) const {
  std::vector<FavouriteEntry> all;
  // Breadth by level keeps parents before children; each folder's own
  // subfolders follow it in order (a depth-first walk).
  std::function<void(const std::filesystem::path&, int)> walk = [&](const std::filesystem::path& dir, int depth) {
    if (depth >= kMaxFolderDepth) return;
    std::vector<FavouriteEntry> folders;
    ListInto(dir, &folders, nullptr);
    for (FavouriteEntry& folder : folders) {
      if (all.size() >= limit) return;
      const std::filesystem::path path = folder.file;
      all.push_back(std::move(folder));
      walk(path, depth + 1);
    }
  };
  walk(folder_, 0);
  return all;
}

std::vector<FavouriteEntry> FavouritesStore::AllFavourites() const {
  std::vector<FavouriteEntry> all = List();
  for (const FavouriteEntry& folder : AllFolders()) {
    ListInto(folder.file, nullptr, &all);
  }
  return all;
}

FavouriteAdded FavouritesStore::Add(std::string_view title, std::string_view address) const {
  return Add(title, address, folder_);
}

FavouriteAdded FavouritesStore::Add(std::string_view title, std::string_view address,
                                    const std::filesystem::path& folder) const {
  if (CheckFavouriteName(title) != FavouriteNameFault::kNone) {
    return {Error{ErrorKind::kInvalidName, "not a file name: " + std::string(title)}, {}, false};
  }
  if (!IsStoreFolder(folder)) {
    return {Error{ErrorKind::kInvalidName, folder.string() + " is not in " + folder_.string()}, {}, false};
  }
  if (Status made = EnsureFolder(); !made.ok()) return {made, {}, false};
  const std::filesystem::path dir = folder.lexically_normal();
  FavouriteEntry entry{std::string(title), dir / (std::string(title) + std::string(kExtension))};
  bool replaced = false;
  std::vector<FavouriteEntry> existing_entries;
  ListInto(dir, nullptr, &existing_entries);
  for (FavouriteEntry& existing : existing_entries) {
    if (existing.title == title) {
      entry = std::move(existing);
      replaced = true;
      break;
    }
  }
  Status written = WriteFileAtomically(entry.file, UrlFileContent(address));
  if (!written.ok()) LogWarning("favourites", "cannot save " + written.error().detail);
  return {written, std::move(entry), replaced};
}

FavouriteAdded FavouritesStore::WriteNew(std::string_view title, std::string_view address,
                                         const std::filesystem::path& folder, bool flush) const {
  if (CheckFavouriteName(title) != FavouriteNameFault::kNone) {
    return {Error{ErrorKind::kInvalidName, "not a file name: " + std::string(title)}, {}, false};
  }
  if (!IsStoreFolder(folder)) {
    return {Error{ErrorKind::kInvalidName, folder.string() + " is not in " + folder_.string()}, {}, false};
  }
  FavouriteEntry entry{std::string(title), folder.lexically_normal() / (std::string(title) + std::string(kExtension))};
  Status written = WriteFileAtomically(entry.file, UrlFileContent(address), 0644, flush);
  return {written, std::move(entry), false};
}

std::string FavouritesStore::ReadAddress(const FavouriteEntry& entry) const {
  std::string bytes;
  bool truncated = false;
  if (entry.is_folder || !Contains(entry.file) || !ReadHead(entry.file, kMaxReadBytes, bytes, truncated)) {
    LogWarning("favourites", "cannot read " + entry.file.string());
    return {};
  }
  std::string address = ParseUrlFileAddress(bytes, truncated);
  if (address.empty()) LogWarning("favourites", entry.file.string() + " holds no address");
  return address;
}

Status FavouritesStore::Remove(const FavouriteEntry& entry) const {
  if (entry.is_folder || !Contains(entry.file)) {
    return Error{ErrorKind::kInvalidName, entry.file.string() + " is not a favourite in " + folder_.string()};
  }
  if (::unlink(entry.file.c_str()) != 0 && errno != ENOENT) {
    return Error{ErrorKind::kIo, entry.file.string() + ": " + std::strerror(errno)};
  }
  return {};
}

FavouriteAdded FavouritesStore::CreateFolder(std::string_view name, const std::filesystem::path& parent) const {
  // A hidden folder would never be listed.
  if (CheckFavouriteName(name) != FavouriteNameFault::kNone || name.starts_with('.')) {
    return {Error{ErrorKind::kInvalidName, "not a folder name: " + std::string(name)}, {}, false};
  }
  if (!IsStoreFolder(parent)) {
    return {Error{ErrorKind::kInvalidName, parent.string() + " is not in " + folder_.string()}, {}, false};
  }
  if (Status made = EnsureFolder(); !made.ok()) return {made, {}, false};
  FavouriteEntry entry{std::string(name), parent.lexically_normal() / std::string(name), true};
  if (::mkdir(entry.file.c_str(), 0755) == 0) return {Status(), std::move(entry), false};
  const int error = errno;
  std::error_code ec;
  if (error == EEXIST && std::filesystem::is_directory(std::filesystem::symlink_status(entry.file, ec))) {
    return {Status(), std::move(entry), true};
  }
  return {Error{ErrorKind::kIo, entry.file.string() + ": " + std::strerror(error)}, {}, false};
}

Status FavouritesStore::RemoveFolder(const FavouriteEntry& folder) const {
  if (!folder.is_folder || !Contains(folder.file)) {
    return Error{ErrorKind::kInvalidName, folder.file.string() + " is not a folder in " + folder_.string()};
  }
  // remove_all deletes links themselves, never what they point to.
  std::error_code ec;
  std::filesystem::remove_all(folder.file, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) {
    return Error{ErrorKind::kIo, folder.file.string() + ": " + ec.message()};
  }
  return {};
}

bool FavouritesStore::Contains(const std::filesystem::path& path) const {
  const std::filesystem::path normal = path.lexically_normal();
  const std::filesystem::path relative = normal.lexically_relative(folder_);
  if (relative.empty() || relative == "." || *relative.begin() == "..") return false;
  // Every folder on the way must be a real folder, not a link out of the store.
  std::filesystem::path walk = folder_;
  auto last = std::prev(relative.end());
  for (auto it = relative.begin(); it != last; ++it) {
    walk /= *it;
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(walk, ec);
    if (ec || std::filesystem::is_symlink(status)) return false;
  }
  return true;
}

bool FavouritesStore::IsStoreFolder(const std::filesystem::path& folder) const {
  const std::filesystem::path normal = folder.lexically_normal();
  if (normal == folder_ || (normal.has_parent_path() && !normal.has_filename() && normal.parent_path() == folder_)) {
    return true;
  }
  if (!Contains(normal)) return false;
  std::error_code ec;
  return !std::filesystem::is_symlink(std::filesystem::symlink_status(normal, ec));
}

}  // namespace nuve::core
