// The three-way merge of the favourites: what each side did since the
// state both agreed on, and that nothing is lost when both sides did
// something to the same favourite or folder.
#include "core/sync/three_way_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace nuve::core {
namespace {

SyncItem Fav(std::string id, std::string parent, std::string name, std::string address) {
  return {std::move(id), std::move(parent), false, std::move(name), std::move(address)};
}
SyncItem Folder(std::string id, std::string parent, std::string name) {
  return {std::move(id), std::move(parent), true, std::move(name), ""};
}

SyncTree TreeOf(std::initializer_list<SyncItem> items) {
  SyncTree tree;
  for (const SyncItem& item : items) tree.emplace(item.id, item);
  return tree;
}

// The merged tree as paths, so that ids made by the merge do not matter:
// "folder/name" -> address ("/" for a folder).
std::map<std::string, std::string> Paths(const SyncTree& tree) {
  std::map<std::string, std::string> out;
  for (const auto& [id, item] : tree) {
    std::string path = item.name;
    std::set<std::string> seen{id};
    for (std::string at = item.parent; !at.empty(); at = tree.at(at).parent) {
      if (!seen.insert(at).second) {
        ADD_FAILURE() << "a loop through " << at;
        break;
      }
      path = tree.at(at).name + "/" + path;
    }
    out[path] = item.folder ? "/" : item.address;
  }
  return out;
}

const SyncTree kBase = TreeOf({
    Folder("f1", "", "工具"),
    Folder("f2", "", "新闻"),
    Fav("a", "", "新浪", "http://sina.test/"),
    Fav("b", "f1", "翻译", "http://fanyi.test/"),
    Fav("c", "f1", "地图", "http://map.test/"),
    Fav("d", "f2", "头条", "http://news.test/"),
});

TEST(ThreeWayMerge, ChangesOfEitherSideSurviveTogether) {
  // Local: a rename, a move, an addition, a deletion.
  SyncTree local = kBase;
  local["a"].name = "新浪首页";
  local["c"].parent = "f2";
  local.emplace("l1", Fav("l1", "f1", "本机新增", "http://local.test/"));
  local.erase("d");
  // Remote: another rename, an address change, a folder renamed, an addition.
  SyncTree remote = kBase;
  remote["b"].name = "在线翻译";
  remote["c"].address = "https://map.test/";
  remote["f2"].name = "资讯";
  remote.emplace("r1", Fav("r1", "", "云端新增", "http://remote.test/"));

  MergeReport report;
  const SyncTree merged = MergeSyncTrees(kBase, local, remote, &report);
  EXPECT_EQ(Paths(merged), (std::map<std::string, std::string>{
                               {"工具", "/"},
                               {"资讯", "/"},
                               {"新浪首页", "http://sina.test/"},
                               {"工具/在线翻译", "http://fanyi.test/"},
                               {"资讯/地图", "https://map.test/"},  // moved here, with the new address
                               {"工具/本机新增", "http://local.test/"},
                               {"云端新增", "http://remote.test/"},
                           }));
  EXPECT_EQ(report.local_changes, 4u);
  EXPECT_EQ(report.remote_changes, 4u);
  EXPECT_EQ(report.kept_both, 0u);
  // Applying the same to both sides changes nothing more.
  EXPECT_EQ(MergeSyncTrees(merged, merged, merged), merged);
  EXPECT_EQ(MergeSyncTrees(remote, merged, remote), merged) << "a merge already applied here merges to itself";
}

TEST(ThreeWayMerge, NothingIsLostWhenBothSidesTouchTheSameItem) {
  SyncTree local = kBase;
  SyncTree remote = kBase;
  // The same favourite edited differently on both sides: both versions stay.
  local["a"].address = "http://sina.test/local";
  remote["a"].address = "http://sina.test/remote";
  // Deleted on one side, changed on the other: it stays, changed.
  local.erase("b");
  remote["b"].name = "翻译（新）";
  remote.erase("c");
  local["c"].parent = "";
  // A folder deleted on the service while this machine added to it: the
  // folder comes back with what was added, without what only the service
  // deleted.
  remote.erase("f2");
  remote.erase("d");
  local.emplace("l1", Fav("l1", "f2", "新加的", "http://added.test/"));
  // The same folder renamed on both sides: the service's name.
  local["f1"].name = "工具箱";
  remote["f1"].name = "常用工具";

  MergeReport report;
  const SyncTree merged = MergeSyncTrees(kBase, local, remote, &report);
  EXPECT_EQ(Paths(merged), (std::map<std::string, std::string>{
                               {"常用工具", "/"},
                               {"新闻", "/"},
                               {"新浪", "http://sina.test/remote"},
                               {"新浪 (2)", "http://sina.test/local"},
                               {"常用工具/翻译（新）", "http://fanyi.test/"},
                               {"地图", "http://map.test/"},
                               {"新闻/新加的", "http://added.test/"},
                           }));
  EXPECT_EQ(report.kept_both, 1u);
  EXPECT_EQ(merged.at("a").address, "http://sina.test/remote") << "the service's version keeps the id";
}

TEST(ThreeWayMerge, NamesStayUniqueAndLoopsAreBroken) {
  // Two machines that never synced (no base) with the same favourites and
  // folders: one of each, no copies. A different address under a taken
  // name is numbered.
  const SyncTree local = TreeOf({Folder("lf", "", "工具"), Fav("l1", "lf", "翻译", "http://fanyi.test/"),
                                 Fav("l2", "", "新浪", "http://sina.test/"), Fav("l3", "", "同名", "http://one.test/")});
  const SyncTree remote = TreeOf({Folder("rf", "", "工具"), Fav("r1", "rf", "翻译", "http://fanyi.test/"),
                                  Fav("r2", "", "新浪", "http://sina.test/"), Fav("r3", "", "同名", "http://two.test/"),
                                  Fav("r4", "rf", "词典", "http://dict.test/")});
  const SyncTree merged = MergeSyncTrees({}, local, remote);
  EXPECT_EQ(Paths(merged), (std::map<std::string, std::string>{
                               {"工具", "/"},
                               {"工具/翻译", "http://fanyi.test/"},
                               {"工具/词典", "http://dict.test/"},
                               {"新浪", "http://sina.test/"},
                               {"同名", "http://one.test/"},
                               {"同名 (2)", "http://two.test/"},
                           }));

  // Each side moved one folder into the other: the loop is broken, both
  // folders and their content stay.
  const SyncTree base = TreeOf({Folder("x", "", "X"), Folder("y", "", "Y"), Fav("in", "x", "里面", "http://in.test/")});
  SyncTree l = base;
  l["x"].parent = "y";
  SyncTree r = base;
  r["y"].parent = "x";
  const SyncTree unlooped = MergeSyncTrees(base, l, r);
  const auto paths = Paths(unlooped);
  EXPECT_EQ(paths.size(), 3u);
  EXPECT_EQ(std::count_if(unlooped.begin(), unlooped.end(), [](const auto& e) { return e.second.parent.empty(); }), 1)
      << "one of them goes to the top level";

  // A tree from anywhere: a parent that does not exist or is a favourite,
  // an item its own parent, a chain deeper than the folder is read.
  SyncTree odd = TreeOf({Fav("p", "", "页", "http://p.test/"), Fav("q", "p", "子页", "http://q.test/"),
                         Fav("o", "nobody", "孤儿", "http://o.test/"), Folder("s", "s", "自己")});
  for (int i = 0; i < 40; ++i) {
    odd.emplace("d" + std::to_string(i), Folder("d" + std::to_string(i), i == 0 ? "" : "d" + std::to_string(i - 1), "层"));
  }
  odd.emplace("deep", Fav("deep", "d39", "最深", "http://deep.test/"));
  NormaliseSyncTree(odd);
  EXPECT_TRUE(odd["q"].parent.empty());
  EXPECT_TRUE(odd["o"].parent.empty());
  EXPECT_TRUE(odd["s"].parent.empty());
  int depth = 0;
  for (std::string at = odd["deep"].parent; !at.empty(); at = odd[at].parent) ++depth;
  EXPECT_LE(depth, 30);
}

}  // namespace
}  // namespace nuve::core
