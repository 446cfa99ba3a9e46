#include "core/start_page/start_page.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "core/history/history_store.h"
#include "core/start_page/removed_pages.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

using Kind = StartPageRequest::Kind;

std::vector<HistoryEntry> MostVisitedOf(HistoryStore& store, std::int64_t since, int limit) {
  std::promise<std::vector<HistoryEntry>> result;
  store.MostVisited(since, limit, [&](std::vector<HistoryEntry> e) { result.set_value(std::move(e)); });
  return result.get_future().get();
}

TEST(StartPageTest, TheUsersDataIsEscapedAndOnlyWebAddressesBecomeLinks) {
  const std::vector<StartTile> favourites = {
      {"<script>alert(1)</script>", "http://a.test/?x=\"><img src=x onerror=alert(2)>"},
      {"脚本", "javascript:alert(3)"},
      {"Plain & simple", "https://b.test/"}};
  const std::string html = BuildStartPage(favourites, {{"<b>bold</b>", "http://c.test/'quoted'"}});

  EXPECT_NE(html.find("<title>新标签页</title>"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("<img src=x"), std::string::npos);
  EXPECT_EQ(html.find("<b>bold"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("Plain &amp; simple"), std::string::npos);
  // A script address is shown, never linked or asked for an icon.
  EXPECT_EQ(html.find("href=\"javascript:"), std::string::npos);
  EXPECT_NE(html.find("脚本"), std::string::npos);
  EXPECT_NE(html.find("href=\"https://b.test/\""), std::string::npos);
  EXPECT_NE(html.find("src=\"nuve://start/icon?u=https%3A%2F%2Fb.test%2F\""), std::string::npos);
  // Only the most-visited tiles can be removed, each by its own address.
  EXPECT_NE(html.find("最常访问"), std::string::npos);
  EXPECT_NE(html.find("href=\"nuve://start/remove?u=http%3A%2F%2Fc.test%2F%27quoted%27\""), std::string::npos);
  EXPECT_EQ(html.find("remove?u=https%3A%2F%2Fb.test"), std::string::npos);

  // Without history the page shows the favourites alone.
  const std::string alone = BuildStartPage(favourites, {});
  EXPECT_EQ(alone.find("最常访问"), std::string::npos);
  EXPECT_NE(alone.find("Plain &amp; simple"), std::string::npos);
  EXPECT_EQ(alone.find("private-note"), std::string::npos);

  // A private window's page says what it keeps, and names no visited site.
  const std::string secret = BuildStartPage(favourites, {{"<b>bold</b>", "http://c.test/'quoted'"}}, true);
  EXPECT_NE(secret.find(kPrivateStartPageNote), std::string::npos);
  EXPECT_EQ(secret.find("c.test"), std::string::npos);
  EXPECT_NE(secret.find("Plain &amp; simple"), std::string::npos);
}

TEST(StartPageTest, RequestsAreReadOnlyFromTheStartPagesOwnAddresses) {
  EXPECT_EQ(ParseStartPageRequest("nuve://start").kind, Kind::kPage);
  EXPECT_EQ(ParseStartPageRequest("nuve://start/").kind, Kind::kPage);
  EXPECT_EQ(ParseStartPageRequest("NUVE://START/#top").kind, Kind::kPage);
  for (const char* other : {"nuve://startx", "nuve://other/", "http://start/", "nuve://start/icons?u=a",
                            "nuve://start/icon", "nuve://start/icon?x=1", "nuve://start/go?q=%",
                            "nuve://start/remove?u=%FF%FE", "nuve://start/go?q=a%00b"}) {
    EXPECT_EQ(ParseStartPageRequest(other).kind, Kind::kUnknown) << other;
  }
  EXPECT_FALSE(IsStartPageUri("nuve://startx"));
  EXPECT_TRUE(IsStartPageUri("nuve://start/icon?u=x"));

  const StartPageRequest go = ParseStartPageRequest("nuve://start/go?x=1&q=%E4%B8%AD%E6%96%87+words&y=2");
  EXPECT_EQ(go.kind, Kind::kGo);
  EXPECT_EQ(go.value, "中文 words");
  // What the page writes reads back as the address it was made from.
  const std::string page = "http://a.test/p?x=1&y=a+b#f";
  const StartPageRequest icon = ParseStartPageRequest(StartPageIconAddress(page));
  EXPECT_EQ(icon.kind, Kind::kIcon);
  EXPECT_EQ(icon.value, page);
  EXPECT_EQ(ParseStartPageRequest("nuve://start/go?q=" + std::string(9000, 'a')).kind, Kind::kUnknown);
}

TEST(StartPageTest, TileLettersComeFromTheTitleElseTheHost) {
  EXPECT_EQ(TileLetter("example", "http://x.test/"), "E");
  EXPECT_EQ(TileLetter("  百度一下", "http://x.test/"), "百");
  EXPECT_EQ(TileLetter("", "http://www.news.test:8080/a"), "N");
  EXPECT_EQ(TileLetter("***", "http://user@q.test/"), "Q");
  EXPECT_EQ(TileLetter("", ""), "?");
  EXPECT_EQ(TileLetter("\xff\xfe", "file:///"), "?");
}

TEST(StartPageTest, AThousandFavouritesGiveTheFirstTwelveInThePanelsOrder) {
  test::TempHome home(false);
  FavouritesStore store(home.path() / "收藏夹");
  ASSERT_TRUE(store.EnsureFolder().ok());
  EXPECT_TRUE(FavouriteTiles(store).empty());
  ASSERT_TRUE(store.CreateFolder("文件夹", store.folder()).status.ok());  // listed first, not a tile
  for (int i = 999; i >= 0; --i) {
    char name[16];
    std::snprintf(name, sizeof name, "site%04d", i);
    ASSERT_TRUE(store.WriteNew(name, std::string("http://") + name + ".test/", store.folder(), false).status.ok());
  }
  test::WriteFileBytes(store.folder() / "site0003.url", "not a shortcut");  // no address: left out

  const auto started = std::chrono::steady_clock::now();
  const std::vector<StartTile> tiles = FavouriteTiles(store);
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(tiles.size(), kStartPageFavourites);
  EXPECT_EQ(tiles.front().title, "site0000");
  EXPECT_EQ(tiles.front().url, "http://site0000.test/");
  EXPECT_EQ(tiles[3].title, "site0004");
  EXPECT_EQ(tiles.back().title, "site0012");
  // Not a speed goal, only a guard against reading all thousand files.
  EXPECT_LT(took, std::chrono::seconds(2));
}

TEST(StartPageTest, MostVisitedCountsTheLastNinetyDaysAndLeavesOutRemovedPages) {
  test::TempHome home(false);
  const std::int64_t now = 1'800'000'000;
  const std::int64_t since = now - kStartPageHistoryDays * 86400;
  HistoryStore store(home.path() / "history.sqlite");
  auto visit = [&](const std::string& url, int times, std::int64_t when) {
    for (int i = 0; i < times; ++i) store.RecordVisit(url, "", when);
  };
  visit("http://old.test/", 50, since - 10);  // visited a lot, but too long ago
  visit("http://many.test/", 5, now - 100);
  visit("http://few.test/", 2, now - 50);
  visit("http://tie-late.test/", 3, now - 10);
  visit("http://tie-early.test/", 3, now - 20);
  visit("http://edge.test/", 1, since);
  store.SetTitle("http://many.test/", "Many");

  const std::vector<HistoryEntry> entries = MostVisitedOf(store, since, 20);
  std::vector<std::string> urls;
  for (const auto& e : entries) urls.push_back(e.url);
  EXPECT_EQ(urls, (std::vector<std::string>{"http://many.test/", "http://tie-late.test/", "http://tie-early.test/",
                                            "http://few.test/", "http://edge.test/"}));
  EXPECT_EQ(MostVisitedOf(store, since, 2).size(), 2u);

  RemovedPages removed(home.path() / "start-page-removed.txt");
  ASSERT_TRUE(removed.Add("http://tie-late.test/").ok());
  const std::vector<StartTile> tiles = MostVisitedTiles(entries, removed.Load(), 3);
  ASSERT_EQ(tiles.size(), 3u);
  EXPECT_EQ(tiles[0].title, "Many");
  EXPECT_EQ(tiles[1].url, "http://tie-early.test/");
  EXPECT_EQ(tiles[2].url, "http://few.test/");
}

TEST(StartPageTest, ACorruptHistoryGivesNoMostVisitedPages) {
  test::TempHome home(false);
  const auto file = home.path() / "history.sqlite";
  test::WriteFileBytes(file, std::string(8192, '\x5a'));
  HistoryStore store(file);
  EXPECT_TRUE(MostVisitedOf(store, 0, 8).empty());
}

TEST(StartPageTest, RemovedPagesAreRememberedBoundedAndSurviveADamagedFile) {
  test::TempHome home(false);
  const auto file = home.path() / "data" / "start-page-removed.txt";
  RemovedPages removed(file);
  EXPECT_TRUE(removed.Load().empty());  // no file yet
  ASSERT_TRUE(removed.Add("http://a.test/").ok());
  ASSERT_TRUE(removed.Add("http://a.test/").ok());  // once only
  ASSERT_TRUE(removed.Add("http://中文.test/").ok());
  EXPECT_EQ(RemovedPages(file).Load(), (std::vector<std::string>{"http://a.test/", "http://中文.test/"}));
  for (const std::string& bad : {std::string(), std::string("http://x.test/\nhttp://y.test/"),
                                std::string(RemovedPages::kMaxAddressBytes + 1, 'a'), std::string("\xff")}) {
    EXPECT_FALSE(removed.Add(bad).ok());
  }
  EXPECT_EQ(removed.Load().size(), 2u);

  test::WriteFileBytes(file, "http://kept.test/\r\n\xff\xfe\n\n" + std::string(20000, 'z') + "\nhttp://also.test/\n");
  EXPECT_EQ(removed.Load(), (std::vector<std::string>{"http://kept.test/", "http://also.test/"}));

  RemovedPages small(file, 20);
  for (int i = 0; i < 25; ++i) ASSERT_TRUE(small.Add("http://p" + std::to_string(i) + ".test/").ok());
  const std::vector<std::string> kept = small.Load();
  ASSERT_EQ(kept.size(), 20u);
  EXPECT_EQ(kept.back(), "http://p24.test/");
  EXPECT_EQ(kept.front(), "http://p5.test/");  // the oldest went first
}

}  // namespace
}  // namespace nuve::core
