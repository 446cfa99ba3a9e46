// Bookmarks of other browsers into the favourites folder, from committed
// files in their real formats (data/README.md), export and import back, and
// inputs that are too large, broken, locked or hostile.
#include "core/favourites/favourites_import.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>

#include "core/favourites/bookmark_sources.h"
#include "core/favourites/chromium_bookmarks.h"
#include "core/favourites/netscape_html.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

using test::ReadFileBytes;
using test::TempHome;
using test::WriteFileBytes;
using Tree = std::map<std::string, std::string>;  // relative path -> address ("/" for a folder)

const std::filesystem::path kData = NUVE_BOOKMARK_DATA;

Tree Contents(const FavouritesStore& store) {
  Tree tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(store.folder())) {
    const std::string rel = std::filesystem::relative(entry.path(), store.folder()).string();
    tree[rel] = entry.is_directory() ? "/" : store.ReadAddress({"", entry.path(), false});
  }
  return tree;
}

// What every fixture holds once imported, below the folder its tree starts in.
Tree Expected(const std::string& toolbar, const std::string& menu, const std::string& unfiled) {
  const auto in = [](const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
  };
  Tree tree{{toolbar, "/"},
            {toolbar + "/新浪.url", "http://sina.test/"},
            {toolbar + "/工具", "/"},
            {toolbar + "/工具/翻译.url", "https://fanyi.test/"},
            {toolbar + "/工具/地图.url", "https://map.test/"},
            {in(menu, "Mozilla.url"), "https://mozilla.test/"},
            {in(menu, "＜script＞alert(1)＜／script＞.url"), "http://xss.test/"},
            {in(menu, "..／x.url"), "http://dotdot.test/"},
            {unfiled, "/"},
            {unfiled + "/a／b：c＊d？e＂f＜g＞h｜i.url", "http://forbidden.test/"},
            {unfiled + "/untitled.test／path.url", "http://untitled.test/path/"}};
  if (!menu.empty()) tree[menu] = "/";
  return tree;
}

// A folder for many small files: in memory when the machine has one, since
// what is tested is the import, not how fast the disk makes files.
class FastTempHome {
 public:
  FastTempHome() {
    const char* previous = std::getenv("TMPDIR");
    if (previous != nullptr) previous_ = previous;
    if (access("/dev/shm", W_OK) == 0) setenv("TMPDIR", "/dev/shm", 1);
    home_ = std::make_unique<TempHome>(false);
    if (previous != nullptr) {
      setenv("TMPDIR", previous_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  const std::filesystem::path& path() const { return home_->path(); }

 private:
  std::string previous_;
  std::unique_ptr<TempHome> home_;
};

TEST(BookmarkImport, EachBrowsersFileImportsWithItsFoldersAndSafeNames) {
  struct Case {
    BookmarkFormat format;
    const char* file;
    Tree expected;
  };
  const Case cases[] = {
      {BookmarkFormat::kFirefoxPlaces, "places.sqlite", Expected("书签工具栏", "书签菜单", "其他书签")},
      {BookmarkFormat::kChromiumJson, "Bookmarks", Expected("书签栏", "其他书签", "其他书签")},
      {BookmarkFormat::kNetscapeHtml, "bookmarks.html", Expected("书签工具栏", "", "其他书签")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(DetectBookmarkFormat(kData / c.file), c.format);
    const BookmarkRead read = ReadBookmarkFile(kData / c.file, c.format);
    ASSERT_TRUE(read.ok) << read.error;
    TempHome home(false);
    const FavouritesStore store(home.path() / "收藏夹");
    const ImportReport report = ImportBookmarks(store, read.root);
    ASSERT_TRUE(report.status.ok()) << report.status.error().detail;
    EXPECT_EQ(report.imported, 8u);
    EXPECT_EQ(report.duplicates, 1u) << "the same address in the same folder";
    // The bookmarklet, and Firefox's place: query.
    EXPECT_EQ(report.unusable, c.format == BookmarkFormat::kFirefoxPlaces ? 2u : 1u);
    EXPECT_EQ(Contents(store), c.expected);
    EXPECT_EQ(std::filesystem::directory_iterator(home.path())->path().filename(), "收藏夹")
        << "nothing is written beside the folder";

    // The same file again: everything is there already.
    const ImportReport again = ImportBookmarks(store, read.root);
    EXPECT_EQ(again.imported, 0u);
    EXPECT_EQ(again.duplicates, 9u);
    EXPECT_EQ(Contents(store), c.expected);
  }
}

TEST(BookmarkImport, ExportThenImportGivesTheSameFavourites) {
  TempHome home(false);
  const FavouritesStore source(home.path() / "a" / "收藏夹");
  ASSERT_TRUE(ImportBookmarks(source, ReadBookmarkFile(kData / "Bookmarks", BookmarkFormat::kChromiumJson).root)
                  .status.ok());
  // Names HTML must escape, a deeper folder, and a favourite written by the
  // Windows version under a GBK name.
  ASSERT_TRUE(source.CreateFolder("甲 & 乙 'x'", source.folder()).status.ok());
  ASSERT_TRUE(source.Add("1 & 2", "http://q.test/?a=1&b=\"<2>\"", source.folder() / "甲 & 乙 'x'").status.ok());
  WriteFileBytes(source.folder() / "\xD0\xC2\xC0\xCB.url", "[InternetShortcut]\r\nURL=http://gbk.test/");

  std::size_t count = 0;
  const auto file = home.path() / "export.html";
  ASSERT_TRUE(ExportFavourites(source, file, &count).ok());
  EXPECT_EQ(count, 10u);
  const FavouritesStore copy(home.path() / "b" / "收藏夹");
  const ImportReport report = ImportBookmarks(copy, ParseNetscapeHtml(ReadFileBytes(file)).root);
  EXPECT_EQ(report.imported, 10u);
  EXPECT_EQ(report.duplicates, 0u);
  Tree expected = Contents(source);
  expected["新浪.url"] = expected["\xD0\xC2\xC0\xCB.url"];  // the name comes back in UTF-8
  expected.erase("\xD0\xC2\xC0\xCB.url");
  EXPECT_EQ(Contents(copy), expected);
}

TEST(BookmarkImport, ProfilesAreFoundInTheirUsualFolders) {
  TempHome home(false);
  const auto firefox = home.path() / ".mozilla/firefox";
  std::filesystem::create_directories(firefox / "abcd.default-release");
  std::filesystem::copy_file(kData / "places.sqlite", firefox / "abcd.default-release/places.sqlite");
  std::filesystem::create_directories(home.path() / "elsewhere");
  std::filesystem::copy_file(kData / "places.sqlite", home.path() / "elsewhere/places.sqlite");
  WriteFileBytes(firefox / "profiles.ini",
                 "[General]\nStartWithLastProfile=1\n\n[Profile1]\nName=work\nIsRelative=0\nPath=" +
                     (home.path() / "elsewhere").string() + "\n\n[Profile0]\nName=default-release\nIsRelative=1\n"
                     "Path=abcd.default-release\nDefault=1\n\n[Profile2]\nName=gone\nIsRelative=1\nPath=missing\n");
  const auto chrome = home.path() / ".config/google-chrome";
  for (const char* profile : {"Default", "Profile 1"}) {
    std::filesystem::create_directories(chrome / profile);
    std::filesystem::copy_file(kData / "Bookmarks", chrome / profile / "Bookmarks");
  }
  std::filesystem::create_directories(chrome / "System Profile");  // no bookmarks, not a profile
  const auto flatpak = home.path() / ".var/app/org.chromium.Chromium/config/chromium/Default";
  std::filesystem::create_directories(flatpak);
  std::filesystem::copy_file(kData / "Bookmarks", flatpak / "Bookmarks");

  std::vector<std::string> labels;
  for (const BookmarkSource& s : FindBookmarkSources(home.path())) labels.push_back(s.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"Firefox（default-release）", "Firefox（work）", "Chromium（Default）",
                                              "Google Chrome（Default）", "Google Chrome（Profile 1）"}));
  EXPECT_TRUE(FindBookmarkSources(home.path() / "nobody").empty());
}

TEST(BookmarkImport, LockedCorruptTruncatedAndHugeFilesAreHandled) {
  FastTempHome home;
  const FavouritesStore store(home.path() / "收藏夹");

  // A running Firefox holds its database locked: the copy is read.
  const auto places = home.path() / "places.sqlite";
  std::filesystem::copy_file(kData / "places.sqlite", places);
  sqlite3* firefox = nullptr;
  ASSERT_EQ(sqlite3_open(places.c_str(), &firefox), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(firefox, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                                  "UPDATE moz_bookmarks SET title = title;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  const BookmarkRead locked = ReadBookmarkFile(places, BookmarkFormat::kFirefoxPlaces);
  EXPECT_TRUE(locked.ok) << locked.error;
  EXPECT_EQ(locked.bookmarks, 11u);
  sqlite3_exec(firefox, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(firefox);

  // Damaged databases and files fail with a reason and import nothing.
  const std::string good = ReadFileBytes(kData / "places.sqlite");
  WriteFileBytes(home.path() / "cut.sqlite", good.substr(0, 5000));
  std::string scrambled = good;
  for (std::size_t i = 100; i < scrambled.size(); i += 7) scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5A);
  WriteFileBytes(home.path() / "scrambled.sqlite", scrambled);
  WriteFileBytes(home.path() / "other.sqlite", "");
  {
    sqlite3* db = nullptr;
    sqlite3_open((home.path() / "other.sqlite").c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE t (x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  const std::string json = ReadFileBytes(kData / "Bookmarks");
  WriteFileBytes(home.path() / "cut.json", json.substr(0, json.size() / 2));
  WriteFileBytes(home.path() / "nojson", "{\"version\": 1}");
  for (const char* name : {"cut.sqlite", "scrambled.sqlite", "other.sqlite", "cut.json", "nojson", "missing"}) {
    const auto file = home.path() / name;
    const BookmarkRead read = ReadBookmarkFile(file, DetectBookmarkFormat(file));
    EXPECT_FALSE(read.ok) << name;
    EXPECT_FALSE(read.error.empty()) << name;
    EXPECT_TRUE(read.root.children.empty()) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(store.folder()));

  // 50 MiB of Bookmarks: 2,000 bookmarks among much else a profile keeps.
  {
    std::ofstream big(home.path() / "Bookmarks", std::ios::binary);
    big << R"({"checksum":"x","roots":{"bookmark_bar":{"type":"folder","name":"大","children":[)";
    const std::string padding(27 * 1024, 'p');
    for (int i = 0; i < 2000; ++i) {
      big << (i > 0 ? "," : "") << R"({"meta_info":{"note":")" << padding << R"("},"type":"url","name":"页)" << i
          << R"(","url":"http://big.test/)" << i << R"("})";
    }
    big << "]}},\"version\":1}";
  }
  ASSERT_GT(std::filesystem::file_size(home.path() / "Bookmarks"), 50u * 1024 * 1024);
  const BookmarkRead big = ReadBookmarkFile(home.path() / "Bookmarks", BookmarkFormat::kChromiumJson);
  ASSERT_TRUE(big.ok) << big.error;
  EXPECT_EQ(big.bookmarks, 2000u);
  EXPECT_EQ(ImportBookmarks(store, big.root).imported, 2000u);

  // A node of no kind is left out with what it holds, and the count says so.
  const BookmarkRead odd = ParseChromiumBookmarks(
      R"({"roots":{"bookmark_bar":{"type":"folder","children":[{"type":"url","name":"a","url":"http://a.test/"},)"
      R"({"name":"no kind","children":[{"type":"url","name":"b","url":"http://b.test/"}]}]}}})");
  ASSERT_TRUE(odd.ok) << odd.error;
  EXPECT_EQ(odd.bookmarks, 1u) << "only what the tree holds is counted";
  // A bookmark that holds others keeps none: they follow it in its folder.
  const BookmarkRead nested = ParseChromiumBookmarks(
      R"({"roots":{"bookmark_bar":{"type":"folder","children":[{"type":"url","name":"a","url":"http://a.test/",)"
      R"("children":[{"type":"url","name":"b","url":"http://b.test/"}]}]}}})");
  ASSERT_TRUE(nested.ok) << nested.error;
  ASSERT_EQ(nested.root.children.size(), 1u);
  EXPECT_EQ(nested.root.children[0].children.size(), 2u) << "a and b side by side";
  EXPECT_EQ(nested.bookmarks, 2u);
}

TEST(BookmarkImport, AHundredThousandHostileEntriesStayInsideTheFolder) {
  std::string html = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
  const std::string hostile[] = {"../x", "<script>alert(1)</script>", "/etc/passwd", "..", ".", "a\\b",
                                 "名\x01字", "\xFF\xFE bad utf-8", "   ", "尾点...", std::string(300, 'L')};
  for (int folder = 0; folder < 100; ++folder) {
    html += "<DT><H3>" + std::string(folder % 10 == 0 ? "../.." : "文件夹 " + std::to_string(folder)) + "</H3>\n<DL><p>\n";
    for (int i = 0; i < 1000; ++i) {
      const std::string name = hostile[i % 11] + " " + std::to_string(i);
      html += "<DT><A HREF=\"http://many.test/" + std::to_string(folder) + "/" + std::to_string(i) + "\">" + name +
              "</A>\n";
    }
    html += "</DL><p>\n";
  }
  html += "<DT><A HREF=\"http://unclosed.test/\">没有结束";  // cut off mid-entry
  const BookmarkRead read = ParseNetscapeHtml(html);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.bookmarks, 100001u);

  FastTempHome home;
  const FavouritesStore store(home.path() / "收藏夹");
  const ImportReport report = ImportBookmarks(store, read.root);
  ASSERT_TRUE(report.status.ok()) << report.status.error().detail;
  EXPECT_EQ(report.imported + report.duplicates, 100001u);
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(home.path())) {
    const auto rel = std::filesystem::relative(entry.path(), store.folder());
    ASSERT_NE(*rel.begin(), "..") << entry.path();
    if (entry.is_regular_file()) ++files;
  }
  EXPECT_EQ(files, report.imported);
  // The ten "../.." folders are one folder, whose name became safe (and
  // not hidden).
  EXPECT_TRUE(std::filesystem::is_directory(store.folder() / "．.／"));
}

TEST(BookmarkImport, OnlyPageAddressesAreImported) {
  for (const char* ok : {"http://a.test/", "HTTPS://A.TEST/x", "ftp://f.test/", "file:///home/user/page.html"}) {
    EXPECT_TRUE(IsImportableAddress(ok)) << ok;
  }
  for (const char* refused : {"javascript:alert(1)", "JavaScript:void(0)", "data:text/html,<script>", "place:x",
                              "about:config", "chrome://settings", "http://", "", "vbscript:x"}) {
    EXPECT_FALSE(IsImportableAddress(refused)) << refused;
  }
  EXPECT_FALSE(IsImportableAddress("http://long.test/" + std::string(9000, 'x')));
}

}  // namespace
}  // namespace nuve::core
