// Content blocking in the main window, through a proxy on 127.0.0.1 that is
// every web site at once, so the ad hosts a filter list names load offline:
// the first page of a start with cached lists is filtered, blocked scripts
// do not run, hidden elements are not displayed, exceptions let their
// resources load, and the shield turns blocking off for one site only. Also
// the first-start offer to keep the lists up to date.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/content_blocking/content_blocking_settings.h"
#include "core/settings/ini_file.h"
#include "support/site_proxy.h"
#include "ui/settings/content_blocking_settings_section.h"
#include "ui/settings/settings_window.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

// Blocks two third-party hosts but lets one script of the second through,
// and hides a class on the news site only.
constexpr char kList[] =
    "! Title: Test list\n"
    "||ads.example^$third-party\n"
    "||cdn.example^$script\n"
    "@@||cdn.example/allowed.js\n"
    "news.test,other.test##.ad-banner\n";

// Each script says it ran; the title says the page has settled, whatever
// was blocked.
constexpr char kPage[] =
    "<html><head><title>loading</title>"
    "<script src=\"http://ads.example/ad.js\"></script>"
    "<script src=\"http://cdn.example/other.js\"></script>"
    "<script src=\"http://cdn.example/allowed.js\"></script></head><body>"
    "<div class=\"ad-banner\" id=\"banner\">ad</div><div id=\"plain\">text</div>"
    "<script>window.onload = () => { document.title = 'settled'; };</script></body></html>";

class ContentBlockingWindowTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    std::filesystem::create_directories(home_->path() / "过滤规则");
    WriteFileBytes(home_->path() / "过滤规则" / "test.txt", kList);
    for (const char* host : {"news.test", "other.test"}) {
      proxy_.Serve(host, "/", {200, "text/html", kPage, {{"Cache-Control", "no-store"}}, 0});
    }
    proxy_.Serve("ads.example", "/ad.js", Script("window.adRan = true;"));
    proxy_.Serve("cdn.example", "/other.js", Script("window.otherRan = true;"));
    proxy_.Serve("cdn.example", "/allowed.js", Script("window.allowedRan = true;"));
  }

  // Never kept in the engine's cache: each load that is let through asks the proxy.
  static SiteProxy::Reply Script(const std::string& body) {
    return {200, "text/javascript", body, {{"Cache-Control", "no-store"}}, 0};
  }

  core::StartRequest Start(const std::string& address) const {
    core::StartRequest start;
    start.address = address;
    start.proxy_host = "127.0.0.1";
    start.proxy_port = std::to_string(proxy_.port());
    return start;
  }

  // While the cached filters are not in yet, the page at `host` is never
  // asked for; true once they are in, with nothing asked for before.
  bool NothingAskedForBeforeTheFiltersAreIn(const std::string& host) {
    const int hits = proxy_.Hits(host, "/");
    bool early = false;
    const bool ready = RunUntil([&] {
      if (context_->content_filters().ready()) return true;
      early = early || proxy_.Hits(host, "/") != hits;
      return false;
    });
    return ready && !early;
  }
  bool FiltersSettled() {
    ui::ContentFilters& filters = context_->content_filters();
    return RunUntil([&] { return filters.ready() && filters.idle() && !filters.lists().empty() &&
                                 filters.lists()[0].state == ui::ContentFilters::ListInfo::State::kActive; });
  }

  // Waits for the current tab to settle on `address` and says what ran and
  // whether the banner shows: "ad,other,allowed,display".
  std::string Outcome(const std::string& address) {
    ui::BrowserTab& tab = window_->tab_strip().CurrentTab();
    const bool settled = RunUntil([&] {
      return tab.page().Uri() == address && tab.page().Title() == "settled" && !tab.page().IsLoading();
    });
    if (!settled) return "not settled: " + tab.page().Uri() + " " + tab.page().Title();
    return EvaluateScript(tab.page().view(),
                          "[!!window.adRan, !!window.otherRan, !!window.allowedRan, "
                          "getComputedStyle(document.getElementById('banner')).display].join()");
  }

  // Loads `address` again in the current tab, leaving the settled title behind first.
  std::string Visit(const std::string& address) {
    ui::BrowserTab& tab = window_->tab_strip().CurrentTab();
    EvaluateScript(tab.page().view(), "document.title = 'leaving'");
    window_->LoadInCurrentTab(address);
    return Outcome(address);
  }

  SiteProxy proxy_;
};

constexpr char kBlocked[] = "false,false,true,none";
constexpr char kUnblocked[] = "true,true,true,block";

TEST_F(ContentBlockingWindowTest, AStartWithCachedListsFiltersItsFirstPage) {
  // The first start compiles the list; its first page may have gone out
  // before that, so it is not judged.
  Open(Start("http://other.test/"));
  ASSERT_TRUE(FiltersSettled());
  EXPECT_TRUE(context_->content_filters().lists()[0].record.converted_count > 0);

  // The next start finds the list compiled and waits for it.
  const int before = proxy_.Hits("ads.example", "/ad.js");
  ui::MainWindow& second = Open(Start("http://news.test/"));
  // The load starts at once, but nothing goes out before the compiled list
  // is in the view (the store answers from the main loop, which has not run yet).
  ASSERT_FALSE(context_->content_filters().ready());
  EXPECT_EQ(second.tab_strip().FirstTab().page().Uri(), "http://news.test/");
  EXPECT_EQ(second.navigation_bar().Address(), "http://news.test/") << "the address box shows it already";
  EXPECT_TRUE(NothingAskedForBeforeTheFiltersAreIn("news.test"));
  EXPECT_EQ(Outcome("http://news.test/"), kBlocked);
  EXPECT_TRUE(context_->content_filters().lists()[0].from_cache);
  EXPECT_EQ(proxy_.Hits("ads.example", "/ad.js"), before) << "the blocked script was never asked for";
  EXPECT_GE(proxy_.Hits("cdn.example", "/allowed.js"), 1) << "the exception let it load";
}

TEST_F(ContentBlockingWindowTest, APrivateWindowBlocksTooThroughTheSameProxy) {
  Open(Start("http://other.test/"));
  ASSERT_TRUE(FiltersSettled());
  std::unique_ptr<ui::MainWindow> normal = std::move(window_);
  ui::WindowOptions options;
  options.is_private = true;
  options.first = false;
  core::StartRequest start;
  start.address = "http://news.test/";
  const int before = proxy_.Hits("ads.example", "/ad.js");
  window_ = std::make_unique<ui::MainWindow>(*context_, start, options);
  ASSERT_TRUE(window_->IsPrivate());
  EXPECT_EQ(Outcome("http://news.test/"), kBlocked);
  EXPECT_EQ(proxy_.Hits("ads.example", "/ad.js"), before) << "the blocked script was never asked for";
  window_.reset();
  window_ = std::move(normal);
}

TEST_F(ContentBlockingWindowTest, RestoredTabsWaitTooAndAWindowClosedMeanwhileKeepsTheSavedTabs) {
  ui::MainWindow& first = Open(Start("http://news.test/"));
  ASSERT_TRUE(FiltersSettled());
  first.tab_strip().OpenTab("http://other.test/");
  EXPECT_EQ(Outcome("http://other.test/"), kBlocked);
  ASSERT_TRUE(context_->settings().SetRestoreLastSession(true).ok());
  window_.reset();
  context_->session().Flush();
  const std::filesystem::path saved = home_->path() / "session.ini";
  const std::string before = ReadFileBytes(saved);
  ASSERT_NE(before.find("other.test"), std::string::npos);

  // Closed before the filters are in: the tabs were there, blank, and the
  // list they came from is kept as it was.
  ui::MainWindow& second = Open(Start(""));
  ASSERT_FALSE(context_->content_filters().ready());
  ASSERT_EQ(second.tab_strip().BrowsingTabCount(), 2);
  const int other_hits = proxy_.Hits("other.test", "/");
  EXPECT_EQ(second.navigation_bar().Address(), "http://other.test/");
  window_.reset();
  EXPECT_EQ(proxy_.Hits("other.test", "/"), other_hits) << "nothing went out";
  context_->session().Flush();
  EXPECT_EQ(ReadFileBytes(saved), before);

  // Left to load, both tabs come back filtered.
  ui::MainWindow& third = Open(Start(""));
  EXPECT_EQ(Outcome("http://other.test/"), kBlocked);
  third.tab_strip().SelectTab(0);
  EXPECT_EQ(Outcome("http://news.test/"), kBlocked);
}

TEST_F(ContentBlockingWindowTest, TheShieldTurnsBlockingOffForOneSiteOnly) {
  ui::MainWindow& window = Open(Start("http://other.test/"));
  ASSERT_TRUE(FiltersSettled());
  EXPECT_EQ(Visit("http://news.test/"), kBlocked);
  ui::NavigationBar& bar = window.navigation_bar();
  EXPECT_TRUE(bar.blocking_state().on());
  EXPECT_EQ(bar.blocking_state().site, "news.test");
  EXPECT_FALSE(bar.site_blocking_off_check().get_active());
  EXPECT_TRUE(bar.site_blocking_off_check().get_sensitive());
  EXPECT_NE(std::string(bar.shield_button().get_tooltip_text()).find("正在 news.test 上拦截"), std::string::npos);

  // "在此网站上停用广告拦截": remembered, and the tab loads the page again.
  const int ad_hits = proxy_.Hits("ads.example", "/ad.js");
  const int page_hits = proxy_.Hits("news.test", "/");
  ui::BrowserTab& tab = window.tab_strip().CurrentTab();
  EvaluateScript(tab.page().view(), "document.title = 'leaving'");
  bar.site_blocking_off_check().set_active(true);
  EXPECT_EQ(Outcome("http://news.test/"), kUnblocked);
  EXPECT_EQ(proxy_.Hits("news.test", "/"), page_hits + 1);
  EXPECT_EQ(proxy_.Hits("ads.example", "/ad.js"), ad_hits + 1);
  EXPECT_FALSE(bar.blocking_state().on());
  EXPECT_EQ(core::IniFile(context_->config().config_dir / "Adblock.ini").Read("停用网站", "news.test"), "1");

  // Another site stays filtered, and the shield says so.
  EXPECT_EQ(Visit("http://other.test/"), kBlocked);
  EXPECT_TRUE(bar.blocking_state().on());
  EXPECT_FALSE(bar.site_blocking_off_check().get_active());
  EXPECT_EQ(Visit("http://news.test/"), kUnblocked);

  // A tab of the excepted site shows the open shield as it becomes current.
  window.tab_strip().OpenTab("http://other.test/");
  EXPECT_TRUE(bar.blocking_state().on());
  window.tab_strip().SelectTab(0);
  EXPECT_FALSE(bar.blocking_state().on());

  // Back on: blocking returns with the reload.
  EvaluateScript(tab.page().view(), "document.title = 'leaving'");
  bar.site_blocking_off_check().set_active(false);
  EXPECT_EQ(Outcome("http://news.test/"), kBlocked);
  EXPECT_TRUE(context_->content_filters().ExceptedSites().empty());

  // Off everywhere: the shield is open and has no site switch to offer.
  context_->content_filters().SetEnabled(false);
  EXPECT_FALSE(bar.blocking_state().on());
  EXPECT_FALSE(bar.site_blocking_off_check().get_sensitive());
  EXPECT_EQ(bar.shield_button().get_tooltip_text(), "广告拦截已关闭");
  EXPECT_TRUE(ui_host_.messages.empty());
}

TEST_F(ContentBlockingWindowTest, GenericHidingHidesEverywhereExceptOnTheSitesAListExcepts) {
  // The engine adds generic hiding to a page at each of its loads that no
  // exception matched, the scripts' loads as well as the page's own.
  WriteFileBytes(home_->path() / "过滤规则" / "generic.txt", "##.sponsor\n@@||calm.test^$generichide\n");
  std::string page = kPage;
  page.replace(page.find("class=\"ad-banner\""), 17, "class=\"sponsor\"");
  for (const char* host : {"plain.test", "calm.test"}) {
    proxy_.Serve(host, "/", {200, "text/html", page, {{"Cache-Control", "no-store"}}, 0});
  }
  Open(Start("http://plain.test/"));
  ui::ContentFilters& filters = context_->content_filters();
  ASSERT_TRUE(RunUntil([&] {
    if (!filters.ready() || !filters.idle() || filters.lists().size() != 2) return false;
    for (const auto& list : filters.lists()) {
      if (list.state != ui::ContentFilters::ListInfo::State::kActive) return false;
    }
    return true;
  }));
  EXPECT_EQ(Visit("http://plain.test/"), kBlocked);
  // The exception takes the hiding away, and nothing else.
  EXPECT_EQ(Visit("http://calm.test/"), "false,false,true,block");
  EXPECT_EQ(Visit("http://plain.test/"), kBlocked);
}

TEST_F(ContentBlockingWindowTest, TheShieldLeadsToTheSettingsPageAndAPageWithoutASiteHasNoSwitch) {
  ui::MainWindow& window = Open(Start("about:blank"));
  ASSERT_TRUE(FiltersSettled());
  ui::NavigationBar& bar = window.navigation_bar();
  EXPECT_EQ(bar.blocking_state().site, "");
  EXPECT_FALSE(bar.site_blocking_off_check().get_sensitive());

  Click(bar.blocking_settings_button());
  ASSERT_EQ(ui_host_.modals.size(), 1u);
  auto* settings = dynamic_cast<ui::SettingsWindow*>(ui_host_.modals.back().get());
  ASSERT_NE(settings, nullptr);
  Gtk::Widget* shown = settings->pages().get_nth_page(settings->pages().get_current_page());
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(settings->pages().get_tab_label_text(*shown), "广告拦截");
  auto* section = dynamic_cast<ui::ContentBlockingSettingsSection*>(FindNamed(*shown, "content-blocking-settings"));
  ASSERT_NE(section, nullptr);
  EXPECT_TRUE(section->enabled_check().get_active());
  EXPECT_TRUE(ui_host_.closers.empty()) << "closing it loads no home page";

  // "设置F1" and "关于(F2)" still open on their own pages, the blocking page between them.
  window.activate_action("win.about");
  auto& about = dynamic_cast<ui::SettingsWindow&>(*ui_host_.modals.back());
  EXPECT_EQ(about.CurrentPage(), ui::SettingsWindow::Page::kAbout);
  EXPECT_EQ(about.pages().get_n_pages(), 3);
  EXPECT_EQ(about.pages().get_tab_label_text(*about.pages().get_nth_page(1)), "广告拦截");
  window.activate_action("win.settings");
  EXPECT_EQ(dynamic_cast<ui::SettingsWindow&>(*ui_host_.modals.back()).CurrentPage(),
            ui::SettingsWindow::Page::kSettings);
}

bool AnyRequestFor(const SiteProxy& proxy, const std::string& host) {
  for (const std::string& key : proxy.Requested()) {
    if (key.find(host) != std::string::npos) return true;
  }
  return false;
}

TEST_F(ContentBlockingWindowTest, TheOfferBarAsksUntilAnsweredAndNothingIsFetchedBeforeOpenIsChosen) {
  ui::MainWindow& window = Open(Start("http://news.test/"));
  ASSERT_TRUE(FiltersSettled());
  // The first start compiles its lists once its first page shows; the
  // next page is filtered.
  EXPECT_EQ(Visit("http://news.test/").substr(0, 5), "false");
  EXPECT_TRUE(window.offer_bar().get_visible());
  EXPECT_FALSE(AnyRequestFor(proxy_, "easylist"));

  // "不用了": the bar goes and stays gone at the next start.
  Click(window.offer_bar().decline_button());
  EXPECT_FALSE(window.offer_bar().get_visible());
  EXPECT_EQ(context_->content_filters().automatic_updates(), std::optional<bool>(false));
  ui::MainWindow& second = Open(Start("http://news.test/"));
  ASSERT_TRUE(FiltersSettled());
  EXPECT_FALSE(second.offer_bar().get_visible());
  EXPECT_FALSE(AnyRequestFor(proxy_, "easylist"));
  EXPECT_TRUE(context_->content_filters().subscriptions().empty());
}

TEST_F(ContentBlockingWindowTest, OpenOnTheOfferBarSubscribesAndFetchesThroughTheProxy) {
  ui::MainWindow& window = Open(Start("http://news.test/"));
  ASSERT_TRUE(FiltersSettled());
  ASSERT_TRUE(window.offer_bar().get_visible());
  Click(window.offer_bar().accept_button());
  EXPECT_FALSE(window.offer_bar().get_visible());
  EXPECT_EQ(context_->content_filters().automatic_updates(), std::optional<bool>(true));
  EXPECT_EQ(context_->content_filters().subscriptions().size(), core::OfferedFilterLists().size());
  // The publishers are reached through the command line's proxy (which
  // cannot tunnel here, so the downloads fail and the lists wait).
  EXPECT_TRUE(RunUntil([&] { return AnyRequestFor(proxy_, "easylist.to"); }));
  ASSERT_TRUE(RunUntil([&] { return context_->content_filters().idle(); }));
  EXPECT_EQ(context_->content_filters().lists().size(), 1 + core::OfferedFilterLists().size());
  EXPECT_EQ(Visit("http://news.test/"), kBlocked) << "the local list stays in use";
}

}  // namespace
}  // namespace nuve::test
