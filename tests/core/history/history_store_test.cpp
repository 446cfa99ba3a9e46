#include "core/history/history_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <future>

#include "core/history/completion.h"
#include "core/util/task_scope.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

using Entries = HistoryStore::Entries;

// Runs an asking call and waits for its callback.
Entries Ask(const std::function<void(HistoryStore::EntriesCallback)>& call) {
  std::promise<Entries> result;
  call([&](Entries entries) { result.set_value(std::move(entries)); });
  return result.get_future().get();
}

std::vector<std::string> Urls(const Entries& entries) {
  std::vector<std::string> urls;
  for (const auto& e : entries) urls.push_back(e.url);
  return urls;
}

class HistoryStoreTest : public ::testing::Test {
 protected:
  test::TempHome home_{false};
  std::filesystem::path file_ = home_.path() / "history.sqlite";
};

TEST_F(HistoryStoreTest, VisitsAreCountedTitlesKeptAndEverythingSurvivesARestart) {
  {
    HistoryStore store(file_);
    store.RecordVisit("http://a.test/", "A", 1000);
    store.RecordVisit("http://a.test/", "", 2000);  // no title yet: the known one stays
    store.RecordVisit("https://b.test/x", "B", 1500);
    store.SetTitle("https://b.test/x", "B2");
    store.SetTitle("http://unknown.test/", "never visited");
    store.RecordVisit("about:blank", "blank", 3000);
    store.RecordVisit("data:text/html,x", "data", 3000);
    const Entries all = Ask([&](auto done) { store.Search("", 100, done); });
    ASSERT_EQ(all.size(), 2u) << "only http, https and file pages are kept";
    EXPECT_EQ(all[0], (HistoryEntry{"http://a.test/", "A", 2, 2000})) << "the latest visit first";
    EXPECT_EQ(all[1], (HistoryEntry{"https://b.test/x", "B2", 1, 1500}));
  }
  HistoryStore again(file_);
  EXPECT_EQ(Urls(Ask([&](auto done) { again.Search("b.test", 100, done); })), std::vector<std::string>{"https://b.test/x"});
  // The database is kept in write-ahead-log mode.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file_.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}

TEST_F(HistoryStoreTest, CompletionOffersPrefixMatchesFirstThenAnyMatchByRank) {
  HistoryStore store(file_);
  const std::int64_t day = 86400;
  const std::int64_t now = 20000 * day;
  store.RecordVisit("http://www.example.test/old", "Old", now - 100 * day);
  store.RecordVisit("http://example.test/recent", "Recent", now - day);
  for (int i = 0; i < 64; ++i) store.RecordVisit("https://example.test/often", "Often", now - 30 * day);
  store.RecordVisit("http://other.test/about-example", "Other", now);
  store.RecordVisit("http://titled.test/", "An Example title", now);
  store.RecordVisit("http://percent.test/100%25", "Percent", now);
  const Entries rows = Ask([&](auto done) { store.Complete("EXAM", 8, done); });
  EXPECT_EQ(Urls(rows), (std::vector<std::string>{
                            "https://example.test/often",  // 64 visits outweigh 29 days
                            "http://example.test/recent", "http://www.example.test/old",
                            // contains the text, not at the start: after the prefix matches
                            "http://other.test/about-example", "http://titled.test/"}));
  // A typed scheme or "www." does not hide a match; wildcards are plain characters.
  EXPECT_EQ(Ask([&](auto done) { store.Complete("http://www.exam", 8, done); }), rows);
  EXPECT_TRUE(Ask([&](auto done) { store.Complete("_", 8, done); }).empty());
  EXPECT_EQ(Urls(Ask([&](auto done) { store.Complete("%25", 8, done); })),
            std::vector<std::string>{"http://percent.test/100%25"});
  EXPECT_EQ(Ask([&](auto done) { store.Complete("e", 2, done); }).size(), 2u);
  EXPECT_TRUE(Ask([&](auto done) { store.Complete("", 8, done); }).empty());
  // A request overtaken by a newer one (its asker renewed the scope) is
  // answered without the work; one still wanted is answered in full.
  TaskScope asker;
  const std::stop_token moot = asker.stop_token();
  asker.Renew();
  EXPECT_TRUE(Ask([&](auto done) { store.Complete("EXAM", 8, done, moot); }).empty());
  EXPECT_EQ(Ask([&](auto done) { store.Complete("EXAM", 8, done, asker.stop_token()); }), rows);
}

TEST_F(HistoryStoreTest, RarePagesBelowThousandsOfBetterRankedOnesAreStillFound) {
  HistoryStore store(file_);
  for (int i = 0; i < 3100; ++i) store.RecordVisit("http://filler" + std::to_string(i) + ".test/", "Filler", 5000 + i);
  store.RecordVisit("http://rare.test/b", "Old", 100);
  store.RecordVisit("http://rare.test/a", "Older", 50);
  store.RecordVisit("http://other.test/", "A RARE title", 10);
  EXPECT_EQ(Urls(Ask([&](auto done) { store.Complete("Rare", 8, done); })),
            (std::vector<std::string>{"http://rare.test/b", "http://rare.test/a", "http://other.test/"}));
  EXPECT_EQ(Ask([&](auto done) { store.Complete("filler", 8, done); }).size(), 8u);
  EXPECT_EQ(Ask([&](auto done) { store.Complete("filler3099", 8, done); }).front().url, "http://filler3099.test/");
}

TEST_F(HistoryStoreTest, DeleteAndClearRemovePages) {
  HistoryStore store(file_);
  store.RecordVisit("http://a.test/", "A", 1);
  store.RecordVisit("http://b.test/", "B", 2);
  std::promise<void> deleted;
  store.Delete("http://a.test/", [&] { deleted.set_value(); });
  deleted.get_future().wait();
  EXPECT_EQ(Urls(Ask([&](auto done) { store.Search("", 10, done); })), std::vector<std::string>{"http://b.test/"});
  store.Clear();
  EXPECT_TRUE(Ask([&](auto done) { store.Search("", 10, done); }).empty());
}

TEST_F(HistoryStoreTest, ADamagedDatabaseIsMovedAsideAndANewOneStarted) {
  test::WriteFileBytes(file_, std::string("SQLite format 3") + std::string(2000, '\x7f'));
  HistoryStore store(file_);
  store.RecordVisit("http://a.test/", "A", 1);
  EXPECT_EQ(Ask([&](auto done) { store.Search("", 10, done); }).size(), 1u);
  std::filesystem::path aside = file_;
  aside += ".corrupt";
  EXPECT_TRUE(std::filesystem::exists(aside)) << "the damaged file is kept for rescue";
}

TEST_F(HistoryStoreTest, AnUnusableLocationLeavesTheHistoryEmptyAndNothingBreaks) {
  std::filesystem::create_directories(file_);  // a folder where the file should be
  HistoryStore store(file_);
  store.RecordVisit("http://a.test/", "A", 1);
  EXPECT_TRUE(Ask([&](auto done) { store.Complete("a", 8, done); }).empty());
  store.Flush();
  EXPECT_TRUE(std::filesystem::is_directory(file_)) << "nothing was moved or deleted";
}

TEST(Completion, FavouritesFirstThenHistoryEachAddressOnce) {
  const std::vector<FavouriteLink> favourites = {
      {"新闻 News", "http://news.test/"}, {"Mail", "http://mail.test/"}, {"Other", "http://x.test/"}};
  const std::vector<HistoryEntry> history = {{"http://news.test", "News page", 3, 0},
                                             {"http://newsletter.test/", "Letter", 1, 0}};
  const auto rows = MergeCompletions("NEWS", favourites, history);
  EXPECT_EQ(rows, (std::vector<Completion>{{"http://news.test/", "新闻 News", true},
                                           {"http://newsletter.test/", "Letter", false}}));
  EXPECT_EQ(MergeCompletions("新闻", favourites, {}).size(), 1u) << "names match in any script";
  std::vector<HistoryEntry> many(20, HistoryEntry{});
  for (size_t i = 0; i < many.size(); ++i) many[i].url = "http://n" + std::to_string(i) + ".test/";
  EXPECT_EQ(MergeCompletions("n", {}, many).size(), kMaxCompletions);
  EXPECT_TRUE(MergeCompletions("", favourites, history).empty());
}

}  // namespace
}  // namespace nuve::core
