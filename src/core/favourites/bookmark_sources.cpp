#include "core/favourites/bookmark_sources.h"

#include <algorithm>
#include <fstream>

#include "core/favourites/chromium_bookmarks.h"
#include "core/favourites/firefox_places.h"
#include "core/favourites/netscape_html.h"
#include "core/settings/ini_file.h"

namespace nuve::core {
namespace {

void AddFirefox(const std::filesystem::path& base, std::vector<BookmarkSource>& out) {
  const IniFile profiles(base / "profiles.ini");
  std::error_code ec;
  // Profiles are numbered from 0 without gaps; a few gaps are forgiven.
  for (int i = 0, missing = 0; i < 256 && missing < 8; ++i) {
    const std::string section = "Profile" + std::to_string(i);
    const std::string path = profiles.Read(section, "Path");
    if (path.empty()) {
      ++missing;
      continue;
    }
    const std::filesystem::path dir = profiles.Read(section, "IsRelative", "1") == "1" ? base / path : std::filesystem::path(path);
    if (!std::filesystem::is_regular_file(dir / "places.sqlite", ec)) continue;
    std::string name = profiles.Read(section, "Name");
    if (name.empty()) name = std::filesystem::path(path).filename().string();
    out.push_back({BookmarkFormat::kFirefoxPlaces, "Firefox（" + name + "）", dir / "places.sqlite"});
  }
}

void AddChromium(const std::string& label, const std::filesystem::path& base, std::vector<BookmarkSource>& out) {
  std::error_code ec;
  std::vector<std::filesystem::path> profiles;
  for (std::filesystem::directory_iterator it(base, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if ((name == "Default" || name.starts_with("Profile ")) && std::filesystem::is_regular_file(it->path() / "Bookmarks", ec)) {
      profiles.push_back(it->path());
    }
  }
  std::sort(profiles.begin(), profiles.end());
  for (const auto& dir : profiles) {
    out.push_back({BookmarkFormat::kChromiumJson, label + "（" + dir.filename().string() + "）", dir / "Bookmarks"});
  }
}

}  // namespace

std::vector<BookmarkSource> FindBookmarkSources(const std::filesystem::path& home) {
  std::vector<BookmarkSource> sources;
  for (const char* base : {".mozilla/firefox", "snap/firefox/common/.mozilla/firefox",
                           ".var/app/org.mozilla.firefox/.mozilla/firefox"}) {
    AddFirefox(home / base, sources);
  }
  const std::pair<const char*, const char*> chromium[] = {
      {"Chromium", ".config/chromium"},
      {"Chromium", "snap/chromium/common/chromium"},
      {"Chromium", ".var/app/org.chromium.Chromium/config/chromium"},
      {"Google Chrome", ".config/google-chrome"},
      {"Google Chrome", ".var/app/com.google.Chrome/config/google-chrome"},
      {"Microsoft Edge", ".config/microsoft-edge"},
      {"Brave", ".config/BraveSoftware/Brave-Browser"},
  };
  for (const auto& [label, base] : chromium) AddChromium(label, home / base, sources);
  return sources;
}

BookmarkFormat DetectBookmarkFormat(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  char head[64] = {};
  in.read(head, sizeof head);
  const std::string_view start(head, static_cast<std::size_t>(in.gcount()));
  if (start.starts_with(std::string_view("SQLite format 3\0", 16))) return BookmarkFormat::kFirefoxPlaces;
  std::string_view rest = start;
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
  const auto first = rest.find_first_not_of(" \t\r\n");
  if (first != std::string_view::npos && rest[first] == '{') return BookmarkFormat::kChromiumJson;
  return BookmarkFormat::kNetscapeHtml;
}

BookmarkRead ReadBookmarkFile(const std::filesystem::path& file, BookmarkFormat format) {
  BookmarkRead read;
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec) {
    read.error = file.string() + ": " + ec.message();
    return read;
  }
  if (size > kMaxBookmarkFileBytes) {
    read.error = file.string() + " is too large (" + std::to_string(size) + " bytes)";
    return read;
  }
  if (format == BookmarkFormat::kFirefoxPlaces) return ReadFirefoxPlaces(file);
  std::ifstream in(file, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!in && !in.eof()) {
    read.error = "cannot read " + file.string();
    return read;
  }
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return format == BookmarkFormat::kChromiumJson ? ParseChromiumBookmarks(bytes) : ParseNetscapeHtml(bytes);
}

}  // namespace nuve::core
