// The favourites store in a fresh temporary folder: files written by the
// program and by others, names that cannot be files, and broken files.
#include "core/favourites/favourites_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "core/favourites/favourite_name.h"
#include "core/favourites/url_file.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

using test::ReadFileBytes;
using test::TempHome;
using test::WriteFileBytes;
using namespace std::string_literals;

std::vector<std::string> TitlesOf(const std::vector<FavouriteEntry>& entries) {
  std::vector<std::string> titles;
  for (const auto& e : entries) titles.push_back(e.title);
  return titles;
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(UrlFile, AddressIsTheRestOfTheFirstUrlLine) {
  EXPECT_EQ(ParseUrlFileAddress("[InternetShortcut]\r\nURL=http://a.test/x?y=1"), "http://a.test/x?y=1");
  // Another program's file: lines after the address, and a BOM.
  EXPECT_EQ(ParseUrlFileAddress("\xEF\xBB\xBF[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n"
                                "[InternetShortcut]\r\nIDList=\r\nurl= http://b.test/ \r\n"
                                "IconFile=http://b.test/favicon.ico\r\nIconIndex=1\r\nURL=http://c.test/\r\n"),
            "http://b.test/");
  EXPECT_EQ(ParseUrlFileAddress("[InternetShortcut]\nBASEURL=http://no.test/\nURL=http://lf.test/\n"),
            "http://lf.test/");
  // The legacy program wrote GBK: 新浪 in the path.
  EXPECT_EQ(ParseUrlFileAddress("[InternetShortcut]\r\nURL=http://x.test/\xD0\xC2\xC0\xCB"), "http://x.test/新浪");
  for (const std::string& bad : std::vector<std::string>{"", "[InternetShortcut]\r\n", "[InternetShortcut]\r\nURL=  \r\n",
                                                      "\0\x01\xFF\xFE garbage URL=http://mid.test/"s}) {
    EXPECT_EQ(ParseUrlFileAddress(bad), "") << bad;
  }
  // A line cut short by the read limit is no address.
  EXPECT_EQ(ParseUrlFileAddress("URL=http://cut.te", /*truncated=*/true), "");
  EXPECT_EQ(ParseUrlFileAddress("URL=http://whole.test/\r\nIconFile=x", /*truncated=*/true), "http://whole.test/");
  // What the program writes reads back, and a line break cannot add a line.
  EXPECT_EQ(UrlFileContent("http://a.test/"), "[InternetShortcut]\r\nURL=http://a.test/");
  EXPECT_EQ(ParseUrlFileAddress(UrlFileContent("http://a.test/\r\nIconFile=x")), "http://a.test/  IconFile=x");
}

TEST(FavouriteName, RefusesWhatCannotBeOnePortableFileName) {
  for (const std::string& ok : std::vector<std::string>{"新浪", "a b", ".hidden", "x.y", "网页 - 标题 (1)",
                                                     std::string(200, 'a')}) {
    EXPECT_EQ(CheckFavouriteName(ok), FavouriteNameFault::kNone) << ok;
  }
  using F = FavouriteNameFault;
  const std::pair<std::string, F> refused[] = {
      {"", F::kEmpty},           {"../x", F::kForbiddenCharacter},  {"a/b", F::kForbiddenCharacter},
      {"a\\b", F::kForbiddenCharacter}, {"a:b", F::kForbiddenCharacter}, {"a*", F::kForbiddenCharacter},
      {"a?", F::kForbiddenCharacter},   {"\"q\"", F::kForbiddenCharacter}, {"<a>", F::kForbiddenCharacter},
      {"a|b", F::kForbiddenCharacter},  {"a\tb", F::kControlCharacter},    {"a\nb", F::kControlCharacter},
      {"a\x7f", F::kControlCharacter},  {"a\xC2\x85", F::kControlCharacter}, {".", F::kDotName},
      {"..", F::kDotName},              {"a.", F::kTrailingDotOrBlank},    {"a ", F::kTrailingDotOrBlank},
      {std::string(201, 'a'), F::kTooLong}, {"\xC0\xAF", F::kInvalidText}, {"\xD0\xC2\xC0\xCB", F::kInvalidText},
  };
  for (const auto& [name, fault] : refused) EXPECT_EQ(CheckFavouriteName(name), fault) << name;
  // 67 CJK characters are 201 bytes.
  std::string cjk;
  for (int i = 0; i < 67; ++i) cjk += "汉";
  EXPECT_EQ(CheckFavouriteName(cjk), F::kTooLong);
}

TEST(FavouritesStore, AddWritesTheShortcutAndReplacesTheSameTitle) {
  TempHome home;
  const auto folder = home.path() / "data" / "收藏夹";
  FavouritesStore store(folder);
  EXPECT_TRUE(store.List().empty()) << "a missing folder lists nothing";

  const FavouriteAdded first = store.Add("新浪", "http://sina.test/");
  ASSERT_TRUE(first.status.ok()) << first.status.error().detail;
  EXPECT_FALSE(first.replaced);
  EXPECT_EQ(first.entry.file, folder / "新浪.url");
  EXPECT_EQ(ReadFileBytes(folder / "新浪.url"), "[InternetShortcut]\r\nURL=http://sina.test/");

  const FavouriteAdded second = store.Add("新浪", "http://sina2.test/");
  ASSERT_TRUE(second.status.ok());
  EXPECT_TRUE(second.replaced);
  EXPECT_EQ(TitlesOf(store.List()), std::vector<std::string>{"新浪"});
  EXPECT_EQ(store.ReadAddress(second.entry), "http://sina2.test/");

  // A favourite whose file another program named ".URL" is replaced in place.
  WriteFileBytes(folder / "Old.URL", "[InternetShortcut]\r\nURL=http://old.test/\r\nIconIndex=0\r\n");
  const FavouriteAdded third = store.Add("Old", "http://new.test/");
  ASSERT_TRUE(third.status.ok());
  EXPECT_TRUE(third.replaced);
  EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"Old.URL", "新浪.url"})) << "no temporary file is left";
}

TEST(FavouritesStore, RefusedNamesWriteNothingAnywhere) {
  TempHome home;
  const auto folder = home.path() / "收藏夹";
  FavouritesStore store(folder);
  ASSERT_TRUE(store.EnsureFolder().ok());
  for (const char* name : {"../x", "a/b", "..", "/tmp/abs"}) {
    const FavouriteAdded added = store.Add(name, "http://evil.test/");
    ASSERT_FALSE(added.status.ok()) << name;
    EXPECT_EQ(added.status.error().kind, ErrorKind::kInvalidName);
  }
  EXPECT_TRUE(FilesIn(folder).empty());
  EXPECT_EQ(FilesIn(home.path()), std::vector<std::string>{"收藏夹"});
  // Entries that do not come from the folder are not touched.
  WriteFileBytes(home.path() / "outside.url", "URL=http://outside.test/");
  const FavouriteEntry outside{"outside", home.path() / "outside.url"};
  EXPECT_FALSE(store.Remove(outside).ok());
  EXPECT_EQ(store.ReadAddress(outside), "");
  EXPECT_TRUE(std::filesystem::exists(home.path() / "outside.url"));
}

TEST(FavouritesStore, ListsAnyCaseSortedAndSurvivesBrokenFiles) {
  TempHome home;
  const auto folder = home.path() / "收藏夹";
  FavouritesStore store(folder);
  ASSERT_TRUE(store.EnsureFolder().ok());
  WriteFileBytes(folder / "b.URL", "[InternetShortcut]\r\nURL=http://b.test/");
  WriteFileBytes(folder / "a.url", "");                                     // 0 bytes
  WriteFileBytes(folder / "c.Url", "\0\xFF\xFE\x01 binary"s);  // garbage
  WriteFileBytes(folder / "\xD0\xC2\xC0\xCB.url", "[InternetShortcut]\r\nURL=http://gbk.test/");  // GBK name
  WriteFileBytes(folder / "\xFF\xFE.url", "URL=http://neither.test/");  // neither UTF-8 nor GBK
  WriteFileBytes(folder / "notes.txt", "URL=http://no.test/");
  WriteFileBytes(folder / ".url", "URL=http://no.test/");
  std::filesystem::create_directory(folder / "dir.url");
  ASSERT_EQ(mkfifo((folder / "pipe.url").c_str(), 0644), 0);
  {
    // 50 MiB: the address near the start is found, one past the limit is not.
    std::ofstream big(folder / "big.url", std::ios::binary);
    big << "[InternetShortcut]\r\nURL=http://big.test/\r\n";
    big << std::string(50 * 1024 * 1024, 'x');
    std::ofstream late(folder / "late.url", std::ios::binary);
    late << std::string(FavouritesStore::kMaxReadBytes, '\n') << "URL=http://late.test/";
  }

  const auto entries = store.List();
  EXPECT_EQ(TitlesOf(entries), (std::vector<std::string>{"a", "b", "big", "c", "late", "新浪", "\uFFFD\uFFFD"}));
  std::map<std::string, std::string> addresses;
  for (const auto& e : entries) addresses[e.title] = store.ReadAddress(e);
  EXPECT_EQ(addresses["a"], "");
  EXPECT_EQ(addresses["b"], "http://b.test/");
  EXPECT_EQ(addresses["big"], "http://big.test/");
  EXPECT_EQ(addresses["c"], "");
  EXPECT_EQ(addresses["late"], "");
  EXPECT_EQ(addresses["新浪"], "http://gbk.test/") << "the GBK-named file opens under its own name";
  EXPECT_EQ(addresses["\uFFFD\uFFFD"], "http://neither.test/");
  // A pipe named like a favourite is neither listed nor waited on.
  EXPECT_EQ(store.ReadAddress({"pipe", folder / "pipe.url"}), "");

  // Deleting: the GBK-named file goes, a file already gone counts as deleted.
  const auto gbk = std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.title == "新浪"; });
  ASSERT_TRUE(store.Remove(*gbk).ok());
  EXPECT_FALSE(std::filesystem::exists(gbk->file));
  EXPECT_TRUE(store.Remove(*gbk).ok());
}

TEST(FavouritesStore, UnwritableFolderFailsAndKeepsTheOtherFavourites) {
  if (geteuid() == 0) {
    // Permissions do not stop root; a folder path that runs through a file does.
    TempHome home;
    WriteFileBytes(home.path() / "file", "x");
    FavouritesStore store(home.path() / "file" / "收藏夹");
    EXPECT_FALSE(store.EnsureFolder().ok());
    const FavouriteAdded added = store.Add("a", "http://a.test/");
    ASSERT_FALSE(added.status.ok());
    EXPECT_EQ(added.status.error().kind, ErrorKind::kIo);
    EXPECT_TRUE(store.List().empty());
    return;
  }
  TempHome home;
  FavouritesStore store(home.path() / "收藏夹");
  ASSERT_TRUE(store.Add("kept", "http://kept.test/").status.ok());
  chmod(store.folder().c_str(), 0555);
  const FavouriteAdded added = store.Add("new", "http://new.test/");
  EXPECT_FALSE(added.status.ok());
  EXPECT_FALSE(store.Remove(store.List().front()).ok());
  chmod(store.folder().c_str(), 0755);
  EXPECT_EQ(TitlesOf(store.List()), std::vector<std::string>{"kept"});
}

TEST(FavouritesStore, SubfoldersAreListedWrittenAndDeletedButNeverLeftThroughALink) {
  TempHome home;
  const auto folder = home.path() / "收藏夹";
  FavouritesStore store(folder);
  ASSERT_TRUE(store.Add("顶层", "http://top.test/").status.ok());
  const FavouriteAdded tools = store.CreateFolder("工具", folder);
  ASSERT_TRUE(tools.status.ok());
  EXPECT_TRUE(tools.entry.is_folder);
  EXPECT_TRUE(store.CreateFolder("工具", folder).replaced) << "an existing folder counts as made";
  ASSERT_TRUE(store.CreateFolder("子", tools.entry.file).status.ok());
  ASSERT_TRUE(store.Add("翻译", "http://fanyi.test/", tools.entry.file).status.ok());
  ASSERT_TRUE(store.Add("深处", "http://deep.test/", tools.entry.file / "子").status.ok());
  std::filesystem::create_directory(folder / ".hidden");  // where the sync works
  WriteFileBytes(folder / "工具.url", "URL=http://same-name.test/");  // a favourite beside a folder of its name
  for (const char* bad : {"", "a/b", "..", ".dot"}) {
    EXPECT_EQ(store.CreateFolder(bad, folder).status.error().kind, ErrorKind::kInvalidName) << bad;
  }

  // The top level keeps its old listing (favourites only); a folder's
  // content is its folders, then its favourites.
  EXPECT_EQ(TitlesOf(store.List()), (std::vector<std::string>{"工具", "顶层"}));
  const auto top = store.ListFolder(folder);
  ASSERT_EQ(TitlesOf(top), (std::vector<std::string>{"工具", "工具", "顶层"}));
  EXPECT_TRUE(top[0].is_folder);
  EXPECT_FALSE(top[1].is_folder);
  EXPECT_EQ(TitlesOf(store.ListFolder(tools.entry.file)), (std::vector<std::string>{"子", "翻译"}));
  EXPECT_EQ(TitlesOf(store.AllFolders()), (std::vector<std::string>{"工具", "子"}));
  EXPECT_EQ(TitlesOf(store.AllFavourites()), (std::vector<std::string>{"工具", "顶层", "翻译", "深处"}));
  EXPECT_EQ(store.ReadAddress(store.ListFolder(tools.entry.file / "子")[0]), "http://deep.test/");

  // A link to a folder outside: not listed, not written into, not deleted through.
  const auto outside = home.path() / "outside";
  std::filesystem::create_directory(outside);
  WriteFileBytes(outside / "secret.url", "URL=http://secret.test/");
  std::filesystem::create_directory_symlink(outside, folder / "链接");
  EXPECT_EQ(TitlesOf(store.AllFolders()), (std::vector<std::string>{"工具", "子"}));
  EXPECT_TRUE(store.ListFolder(folder / "链接").empty());
  EXPECT_FALSE(store.Add("x", "http://x.test/", folder / "链接").status.ok());
  EXPECT_FALSE(store.Add("x", "http://x.test/", folder / ".." / "outside").status.ok());
  EXPECT_FALSE(store.CreateFolder("y", folder / "链接").status.ok());
  EXPECT_EQ(store.ReadAddress({"secret", folder / "链接" / "secret.url"}), "");
  EXPECT_FALSE(store.Remove({"secret", folder / "链接" / "secret.url"}).ok());
  EXPECT_FALSE(store.RemoveFolder({"outside", outside, true}).ok());
  EXPECT_FALSE(store.RemoveFolder({"收藏夹", folder, true}).ok()) << "never the store itself";
  ASSERT_TRUE(store.RemoveFolder({"链接", folder / "链接", true}).ok()) << "the link itself may go";
  EXPECT_TRUE(std::filesystem::exists(outside / "secret.url"));

  // A folder goes with everything in it; a favourite entry is not a folder.
  EXPECT_FALSE(store.Remove(tools.entry).ok());
  EXPECT_FALSE(store.RemoveFolder(top[1]).ok());
  ASSERT_TRUE(store.RemoveFolder(tools.entry).ok());
  EXPECT_FALSE(std::filesystem::exists(tools.entry.file));
  EXPECT_TRUE(store.RemoveFolder(tools.entry).ok()) << "already gone";
  EXPECT_EQ(TitlesOf(store.ListFolder(folder)), (std::vector<std::string>{"工具", "顶层"}));
}

TEST(FavouriteName, NamesFromElsewhereAreMadeSafe) {
  const std::pair<std::string, std::string> cases[] = {
      {"../x", "..／x"},        {"<script>", "＜script＞"},     {"a\\b:c", "a＼b：c"},
      {"  blanks  ", "blanks"}, {"trailing...", "trailing"},   {"tab\there", "tab here"},
      {"..", "未命名"},          {"", "未命名"},                  {"\xFF\xFEok", "\uFFFD\uFFFDok"},
      {std::string(250, 'a'), std::string(200, 'a')},
  };
  for (const auto& [raw, safe] : cases) {
    EXPECT_EQ(SafeFavouriteName(raw), safe) << raw;
    EXPECT_EQ(CheckFavouriteName(SafeFavouriteName(raw)), FavouriteNameFault::kNone) << raw;
  }
  EXPECT_EQ(SafeFavouriteName(".config", /*folder=*/true), "．config");
  const std::string long_hidden = SafeFavouriteName("." + std::string(250, 'a'), /*folder=*/true);
  EXPECT_EQ(CheckFavouriteName(long_hidden), FavouriteNameFault::kNone) << "the wider dot still fits";
  EXPECT_EQ(long_hidden.size(), 200u);
  std::string cjk;
  for (int i = 0; i < 70; ++i) cjk += "汉";
  EXPECT_EQ(SafeFavouriteName(cjk).size(), 198u) << "cut at a character boundary";
}

}  // namespace
}  // namespace nuve::core
