#include "core/favourites/favourites_store.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

Status FavouritesStore::EnsureFolder() const {
  std::error_code ec;
  if (std::filesystem::is_directory(folder_, ec)) return {};
  std::filesystem::create_directories(folder_, ec);
  if (ec) return Error{ErrorKind::kIo, folder_.string() + ": " + ec.message()};
  return {};
}

std::vector<FavouriteEntry> FavouritesStore::List() const {
  std::vector<std::pair<std::string, FavouriteEntry>> keyed;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder_, ec);
  if (ec) {
    if (ec != std::errc::no_such_file_or_directory) {
      LogWarning("favourites", "cannot list " + folder_.string() + ": " + ec.message());
    }
    return {};
  }
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::string title = TitleOf(it->path().filename().native());
    std::error_code type_ec;
    if (title.empty() || !it->is_regular_file(type_ec)) continue;
    std::string key = SortKey(title);
    keyed.emplace_back(std::move(key), FavouriteEntry{std::move(title), it->path()});
  }
  if (ec) LogWarning("favourites", "listing " + folder_.string() + " stopped: " + ec.message());
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second.file.native() < b.second.file.native();
  });
  std::vector<FavouriteEntry> entries;
  entries.reserve(keyed.size());
  for (auto& [key, entry] : keyed) entries.push_back(std::move(entry));
  return entries;
}

FavouriteAdded FavouritesStore::Add(std::string_view title, std::string_view address) const {
  if (CheckFavouriteName(title) != FavouriteNameFault::kNone) {
    return {Error{ErrorKind::kInvalidName, "not a file name: " + std::string(title)}, {}, false};
  }
  if (Status folder = EnsureFolder(); !folder.ok()) return {folder, {}, false};
  FavouriteEntry entry{std::string(title), folder_ / (std::string(title) + std::string(kExtension))};
  bool replaced = false;
  for (FavouriteEntry& existing : List()) {
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

std::string FavouritesStore::ReadAddress(const FavouriteEntry& entry) const {
  std::string bytes;
  bool truncated = false;
  if (entry.file.parent_path() != folder_ || !ReadHead(entry.file, kMaxReadBytes, bytes, truncated)) {
    LogWarning("favourites", "cannot read " + entry.file.string());
    return {};
  }
  std::string address = ParseUrlFileAddress(bytes, truncated);
  if (address.empty()) LogWarning("favourites", entry.file.string() + " holds no address");
  return address;
}

Status FavouritesStore::Remove(const FavouriteEntry& entry) const {
  if (entry.file.parent_path() != folder_) {
    return Error{ErrorKind::kInvalidName, entry.file.string() + " is not in " + folder_.string()};
  }
  if (::unlink(entry.file.c_str()) != 0 && errno != ENOENT) {
    return Error{ErrorKind::kIo, entry.file.string() + ": " + std::strerror(errno)};
  }
  return {};
}

}  // namespace nuve::core
