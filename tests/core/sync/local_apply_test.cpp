// The favourites folder as the sync reads and writes it: ids that follow a
// file a file manager renamed or moved, and a merged tree written back with
// swapped names, folders moved into each other and deletions, without ever
// losing a file the sync does not know.
#include "core/sync/local_apply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/favourites/url_file.h"
#include "core/sync/local_snapshot.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

using test::ReadFileBytes;
using test::TempHome;
using test::WriteFileBytes;

std::map<std::string, std::string> Contents(const FavouritesStore& store) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(store.folder())) {
    const std::string rel = std::filesystem::relative(entry.path(), store.folder()).string();
    tree[rel] = entry.is_directory() ? "/" : ParseUrlFileAddress(ReadFileBytes(entry.path()));
  }
  return tree;
}

const SyncItem& ByName(const LocalScan& scan, const std::string& name) {
  for (const LocalEntry& e : scan.entries) {
    if (e.item.name == name) return e.item;
  }
  throw std::runtime_error("no " + name);
}

class LocalFolder : public testing::Test {
 protected:
  void Write(const std::string& path, const std::string& address) {
    std::filesystem::create_directories((store_.folder() / path).parent_path());
    WriteFileBytes(store_.folder() / path, UrlFileContent(address));
  }
  void Move(const std::string& from, const std::string& to) {
    std::filesystem::rename(store_.folder() / from, store_.folder() / to);
  }

  TempHome home_{false};
  FavouritesStore store_{home_.path() / "收藏夹"};
};

TEST_F(LocalFolder, ItemsKeepTheirIdsThroughRenamesAndMovesAndUnreadableFilesAreNoDeletion) {
  Write("新浪.url", "http://sina.test/");
  Write("工具/翻译.url", "http://fanyi.test/");
  Write("工具/地图.url", "http://map.test/");
  Write("\xD0\xC2\xCE\xC5.url", "http://gbk.test/");  // 新闻, written by the Windows version
  std::filesystem::create_directories(store_.folder() / ".nuve-sync-leftover");
  Write("notes.txt", "not a favourite");
  const LocalScan first = ScanFavourites(store_, {});
  ASSERT_TRUE(first.ok);
  ASSERT_EQ(first.entries.size(), 5u);
  const SyncItem tools = ByName(first, "工具");
  EXPECT_EQ(ByName(first, "翻译").parent, tools.id);
  EXPECT_EQ(ByName(first, "新闻").address, "http://gbk.test/");

  Move("新浪.url", "新浪首页.url");
  Move("工具/地图.url", "地图.url");
  Move("工具", "常用工具");
  Write("常用工具/翻译.url", "https://fanyi.test/new");  // moved with its folder, then edited
  WriteFileBytes(store_.folder() / "\xD0\xC2\xCE\xC5.url", "broken, no address any more");
  const LocalScan second = ScanFavourites(store_, first.entries);
  ASSERT_TRUE(second.ok);
  EXPECT_EQ(ByName(second, "新浪首页").id, ByName(first, "新浪").id);
  EXPECT_EQ(ByName(second, "地图").id, ByName(first, "地图").id);
  EXPECT_TRUE(ByName(second, "地图").parent.empty());
  EXPECT_EQ(ByName(second, "常用工具").id, tools.id);
  EXPECT_EQ(ByName(second, "翻译").id, ByName(first, "翻译").id);
  EXPECT_EQ(ByName(second, "翻译").address, "https://fanyi.test/new");
  EXPECT_EQ(ByName(second, "新闻").address, "http://gbk.test/") << "a file that cannot be read now keeps what it held";

  // A new file in the place of a deleted one is another favourite.
  std::filesystem::remove(store_.folder() / "地图.url");
  Write("地图.url", "http://other-map.test/");
  const LocalScan third = ScanFavourites(store_, second.entries);
  EXPECT_EQ(ByName(third, "地图").id, ByName(second, "地图").id) << "the same path";
  EXPECT_EQ(ByName(third, "地图").address, "http://other-map.test/");
}

TEST_F(LocalFolder, AMergedTreeIsWrittenWithSwapsNestedMovesAndDeletions) {
  Write("甲.url", "http://a.test/");
  Write("乙.url", "http://b.test/");
  Write("X/里面.url", "http://in.test/");
  Write("X/去掉.url", "http://gone.test/");
  Write("Y/留下.URL", "http://kept.test/");
  Write("Z/别人的.txt", "a file the sync does not know");
  Write("Z/会删.url", "http://z.test/");
  const LocalScan scan = ScanFavourites(store_, {});
  ASSERT_TRUE(scan.ok);
  SyncTree tree = scan.Tree();
  const auto id = [&](const std::string& name) { return ByName(scan, name).id; };
  // Swap two names, move X into Y, move one item out of X, delete another,
  // delete Z (which holds a file of someone else's), add a folder with a
  // favourite, change an address.
  tree[id("甲")].name = "乙";
  tree[id("乙")].name = "甲";
  tree[id("X")].parent = id("Y");
  tree[id("里面")].parent = "";
  tree.erase(id("去掉"));
  tree.erase(id("Z"));
  tree.erase(id("会删"));
  tree.emplace("nf", SyncItem{"nf", id("Y"), true, "新文件夹", ""});
  tree.emplace("nb", SyncItem{"nb", "nf", false, "新的", "http://new.test/"});
  tree[id("留下")].address = "https://kept.test/";

  const ApplyReport report = ApplySyncTree(store_, scan.entries, tree);
  // Z stays: it holds a file the sync does not know.
  EXPECT_TRUE(report.status.ok()) << report.status.error().detail;
  EXPECT_EQ(Contents(store_), (std::map<std::string, std::string>{
                                  {"甲.url", "http://b.test/"},
                                  {"乙.url", "http://a.test/"},
                                  {"里面.url", "http://in.test/"},
                                  {"Y", "/"},
                                  {"Y/留下.URL", "https://kept.test/"},  // its file name stays
                                  {"Y/X", "/"},
                                  {"Y/新文件夹", "/"},
                                  {"Y/新文件夹/新的.url", "http://new.test/"},
                                  {"Z", "/"},
                                  {"Z/别人的.txt", "a file the sync does not know"},
                              }));
  // The scan that follows finds every item under its id where it was meant to be.
  const LocalScan after = ScanFavourites(store_, report.expected);
  ASSERT_TRUE(after.ok);
  SyncTree found = after.Tree();
  const auto z = std::find_if(found.begin(), found.end(), [](const auto& e) { return e.second.name == "Z"; });
  ASSERT_NE(z, found.end()) << "the folder that stayed is seen, as a new one";
  found.erase(z);
  EXPECT_EQ(found, tree);
}

TEST_F(LocalFolder, WhatABrokenOffApplyLeftAsideComesBack) {
  Write("在这.url", "http://here.test/");
  const auto aside = store_.folder() / ".nuve-sync-Ab12Cd";
  std::filesystem::create_directories(aside / "f00d");
  WriteFileBytes(aside / "f00d" / "里面.url", UrlFileContent("http://inside.test/"));
  WriteFileBytes(aside / "beef", UrlFileContent("http://aside.test/"));
  EXPECT_EQ(RecoverPutAside(store_), 2u);
  EXPECT_FALSE(std::filesystem::exists(aside));
  EXPECT_EQ(Contents(store_), (std::map<std::string, std::string>{
                                  {"在这.url", "http://here.test/"},
                                  {"同步恢复 f00d", "/"},
                                  {"同步恢复 f00d/里面.url", "http://inside.test/"},
                                  {"同步恢复 beef.url", "http://aside.test/"},
                              }));
}

}  // namespace
}  // namespace nuve::core
