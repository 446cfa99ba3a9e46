#pragma once
// Where other browsers on this machine keep their bookmarks, and reading
// any bookmark file the user picks.

#include <filesystem>
#include <string>
#include <vector>

#include "core/favourites/bookmark_tree.h"

namespace nuve::core {

enum class BookmarkFormat { kFirefoxPlaces, kChromiumJson, kNetscapeHtml };

struct BookmarkSource {
  BookmarkFormat format = BookmarkFormat::kNetscapeHtml;
  std::string label;  // "Firefox（default-release）", "Chromium（Default）"
  std::filesystem::path file;
};

// The profiles found under `home` (the user's home folder) in the places
// their Debian, Snap and Flatpak packages use: Firefox's profiles.ini and
// places.sqlite, the "Bookmarks" files of Chromium, Google Chrome,
// Microsoft Edge and Brave. Only profiles whose file exists are listed.
std::vector<BookmarkSource> FindBookmarkSources(const std::filesystem::path& home);

// The format of a file, judged by its first bytes: SQLite's header, JSON,
// otherwise HTML.
BookmarkFormat DetectBookmarkFormat(const std::filesystem::path& file);

// Reads the bookmarks of `file` in `format`. Files larger than
// kMaxBookmarkFileBytes are refused unread.
BookmarkRead ReadBookmarkFile(const std::filesystem::path& file, BookmarkFormat format);

}  // namespace nuve::core
