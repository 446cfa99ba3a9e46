// Which lists are in use, when a subscription is due, and the index of
// compiled lists, in a fresh temporary folder.
#include "core/content_blocking/filter_list_catalog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/content_blocking/compiled_filter_index.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

using test::TempHome;
using test::WriteFileBytes;

std::vector<std::string> Ids(const std::vector<FilterListSource>& lists) {
  std::vector<std::string> ids;
  for (const auto& list : lists) ids.push_back(list.id);
  return ids;
}

TEST(FilterListCatalog, LocalFilesPackagedListsAndSubscriptionsInAFixedOrder) {
  TempHome home;
  const auto packaged = home.path() / "debian";
  std::filesystem::create_directories(packaged);
  WriteFileBytes(packaged / "easylist.txt", "||a.test^\n");
  WriteFileBytes(packaged / "easyprivacy.txt", "||b.test^\n");
  const FilterListCatalog catalog(home.path(), packaged);
  std::filesystem::create_directories(catalog.local_folder() / "folder");
  WriteFileBytes(catalog.local_folder() / "我的规则.txt", "||c.test^\n");
  WriteFileBytes(catalog.local_folder() / "a-list", "||d.test^\n");
  WriteFileBytes(catalog.local_folder() / ".hidden", "||e.test^\n");
  WriteFileBytes(catalog.local_folder() / "backup~", "||f.test^\n");
  const std::string easylist_url(OfferedFilterLists()[0].url);
  const std::vector<FilterSubscription> subscriptions = {
      {ContentBlockingSettings::SubscriptionId(easylist_url), easylist_url},
      {ContentBlockingSettings::SubscriptionId("https://x.test/l.txt"), "https://x.test/l.txt"}};
  auto lists = catalog.List(subscriptions);
  EXPECT_EQ(Ids(lists), (std::vector<std::string>{"local:a-list", "local:我的规则.txt", "packaged:easylist.txt",
                                                  "packaged:easyprivacy.txt", "subscription:" + subscriptions[0].id,
                                                  "subscription:" + subscriptions[1].id}));
  EXPECT_EQ(lists[2].name, "EasyList");
  EXPECT_EQ(lists[4].name, "EasyList");
  EXPECT_EQ(lists[5].name, "https://x.test/l.txt");
  // Once the EasyList subscription has a copy, Debian's EasyList steps aside.
  ASSERT_TRUE(catalog.StoreDownload(subscriptions[0].id, "||g.test^\n").ok());
  lists = catalog.List(subscriptions);
  EXPECT_EQ(Ids(lists)[2], "packaged:easyprivacy.txt");
  EXPECT_EQ(lists.size(), 5u);
  // No folder, no packaged lists: nothing but the subscriptions.
  const FilterListCatalog empty(home.path() / "none", home.path() / "none");
  EXPECT_EQ(empty.List({}).size(), 0u);
}

TEST(FilterListCatalog, ASubscriptionIsDueFourDaysAfterItsLastCheckAndRetriedHourly) {
  const std::int64_t now = 1'800'000'000;
  SubscriptionState state;
  EXPECT_TRUE(IsFilterRefreshDue(state, now));
  state.last_checked = now - kFilterRefreshSeconds + 60;
  EXPECT_FALSE(IsFilterRefreshDue(state, now));
  state.last_checked = now - kFilterRefreshSeconds;
  EXPECT_TRUE(IsFilterRefreshDue(state, now));
  state.last_attempt = now - 60;  // failed a minute ago
  EXPECT_FALSE(IsFilterRefreshDue(state, now));
  state.last_attempt = now - kFilterRetrySeconds;
  EXPECT_TRUE(IsFilterRefreshDue(state, now));
  state.last_checked = now + 30 * 24 * 3600;  // the clock went back a month
  state.last_attempt = 0;
  EXPECT_TRUE(IsFilterRefreshDue(state, now));
}

TEST(FilterListCatalog, TheStateOfASubscriptionSurvivesAndBrokenValuesReadAsNothing) {
  TempHome home;
  const FilterListCatalog catalog(home.path(), home.path() / "none");
  SubscriptionState state;
  state.last_checked = 100;
  state.last_attempt = 200;
  state.last_updated = 100;
  state.last_modified = "Wed, 21 Oct 2015 07:28:00 GMT";
  state.last_error = "HTTP status 500";
  ASSERT_TRUE(catalog.SaveState("abc", state).ok());
  const SubscriptionState read = catalog.State("abc");
  EXPECT_EQ(read.last_attempt, 200);
  EXPECT_EQ(read.last_modified, state.last_modified);
  EXPECT_EQ(read.last_error, state.last_error);
  WriteFileBytes(home.path() / "filter-lists" / "state.ini", "[abc]\nlast-checked=soon\nlast-attempt=12x\n");
  EXPECT_EQ(catalog.State("abc").last_checked, 0);
  EXPECT_EQ(catalog.State("abc").last_attempt, 0);
}

TEST(CompiledFilterIndex, ARecordHoldsWhileTheListIsUnchanged) {
  TempHome home;
  const auto file = home.path() / "list.txt";
  WriteFileBytes(file, "! Title: Mine\n||a.test^\n##a[\n##.ad\n");
  const FilterListSource source{FilterListSource::Origin::kLocal, "local:list.txt", "list.txt", file, {}, {}};
  const PreparedFilterList prepared = PrepareFilterList(source);
  ASSERT_TRUE(prepared.error.empty()) << prepared.error;
  EXPECT_EQ(prepared.record.rule_count, 2u);  // the filter, the hiding
  EXPECT_EQ(prepared.record.converted_count, 2u);
  EXPECT_EQ(prepared.record.skipped_kinds, "selector=1");
  EXPECT_EQ(prepared.record.title, "Mine");
  EXPECT_EQ(prepared.record.Identifier().size(), 5u + 64u);
  const CompiledFilterIndex index(home.path() / "cache");
  ASSERT_TRUE(index.Store(source.id, prepared.record).ok());
  const auto found = index.Find(source.id, FilterListStamp(file));
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->digest, prepared.record.digest);
  EXPECT_EQ(found->skipped_count, 1u);
  // A changed file has another stamp; a forgotten record is gone.
  WriteFileBytes(file, "||b.test^\n");
  EXPECT_FALSE(index.Find(source.id, FilterListStamp(file)).has_value());
  ASSERT_TRUE(index.Forget(source.id).ok());
  EXPECT_FALSE(index.Find(source.id, prepared.record.stamp).has_value());
  // A damaged index reads as nothing known.
  WriteFileBytes(home.path() / "cache" / "index.ini", "[local:list.txt]\nstamp=x\ndigest=../../etc\nrules=1\n");
  EXPECT_FALSE(index.Find(source.id, "x").has_value());
}

TEST(CompiledFilterIndex, UnreadableOversizedAndEmptyListsGiveNoRules) {
  TempHome home;
  FilterListSource source{FilterListSource::Origin::kLocal, "local:x", "x", home.path() / "missing.txt", {}, {}};
  EXPECT_FALSE(PrepareFilterList(source).error.empty());
  source.file = home.path() / "big.txt";
  {
    // 50 MiB of comments and one filter: read and converted, within the limit.
    std::string big(50u * 1024 * 1024, '!');
    for (std::size_t i = 1023; i < big.size(); i += 1024) big[i] = '\n';
    big += "\n||fifty.test^\n";
    WriteFileBytes(source.file, big);
  }
  PreparedFilterList prepared = PrepareFilterList(source);
  EXPECT_TRUE(prepared.error.empty()) << prepared.error;
  EXPECT_EQ(prepared.record.converted_count, 1u);
  std::filesystem::resize_file(source.file, kMaxFilterListBytes + 1);
  EXPECT_NE(PrepareFilterList(source).error.find("MiB"), std::string::npos);
  WriteFileBytes(source.file, "! nothing here\n");
  prepared = PrepareFilterList(source);
  EXPECT_TRUE(prepared.json.empty());
  EXPECT_FALSE(prepared.error.empty());
}

}  // namespace
}  // namespace nuve::core
