// The start page nuve://start in real windows: what it shows, what it asks
// of the network (nothing), and that web pages cannot reach it.

#include <filesystem>
#include <string>

#include "core/start_page/removed_pages.h"
#include "ui/main/ready_start_page.h"
#include "ui/main/web_page.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

constexpr char kStartTitle[] = "新标签页 - NUVE浏览器M1";

class StartPageTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    SetEnv("NUVE_PORTAL_A", "nuve://start");
    SetEnv("NUVE_SEARCH_QUERY", pages_->Url("/title/search?wd=%s"));
  }

  std::filesystem::path Favourites() const { return home_->path() / "收藏夹"; }

  // A favourite written straight into the folder, as another program (or
  // an import) may leave it: the name is whatever the file is called.
  void WriteFavourite(const std::string& name, const std::string& address) {
    std::filesystem::create_directories(Favourites());
    WriteFileBytes(Favourites() / (name + ".url"), "[InternetShortcut]\r\nURL=" + address + "\r\n");
  }

  // What the page in `tab` says for `expression` (a string), read through its title.
  std::string Ask(ui::BrowserTab& tab, const std::string& expression) {
    const std::string marker = "answer" + std::to_string(++asked_) + ":";
    RunScript(tab.page().view(), "document.title = '" + marker + "' + (" + expression + ");");
    std::string title;
    RunUntil([&] {
      title = tab.page().Title();
      return title.rfind(marker, 0) == 0;
    }, 5000);
    return title.rfind(marker, 0) == 0 ? title.substr(marker.size()) : "(no answer: " + title + ")";
  }

  static std::string Names(const char* section) {
    return std::string("[...document.querySelectorAll('#") + section +
           " .name')].map(function(e){return e.textContent;}).join('|')";
  }

  int asked_ = 0;

  int TotalHits() const {
    int hits = 0;
    for (const char* path : {"/title/A", "/title/B", "/title/C", "/title/D", "/favicon.ico", "/"}) {
      hits += pages_->Hits(path);
    }
    return hits;
  }
};

TEST_F(StartPageTest, TilesFollowTheFavouritesFolderShowHostileNamesAsTextAndCostNoRequest) {
  WriteFavourite("<script>document.title='owned'<\\script>", pages_->Url("/title/A"));
  WriteFavourite("<img src=x onerror=alert(1)>", pages_->Url("/title/B"));
  WriteFavourite("普通网页", pages_->Url("/title/C"));
  ui::MainWindow& window = Open();
  ASSERT_TRUE(WaitForTitle(kStartTitle)) << window.get_title();
  ui::BrowserTab& first = window.tab_strip().FirstTab();
  EXPECT_EQ(Ask(first, Names("favourites")),
            "<img src=x onerror=alert(1)>|<script>document.title='owned'<\\script>|普通网页");
  EXPECT_EQ(Ask(first, "document.querySelectorAll('script, #favourites img:not([src^=\"nuve:\"])').length"), "0");
  EXPECT_EQ(Ask(first, "document.querySelector('#favourites a').getAttribute('href')"), pages_->Url("/title/B"));
  EXPECT_EQ(Ask(first, "String(document.getElementById('most-visited'))"), "null") << "no history yet";

  // The next new tab shows the folder as it is then.
  std::filesystem::remove(Favourites() / "普通网页.url");
  WriteFavourite("Added", pages_->Url("/title/D"));
  window.activate_action("win.new-tab");
  ASSERT_TRUE(RunUntil([&] { return window.tab_strip().BrowsingTabCount() == 2; }));
  ui::BrowserTab& second = window.tab_strip().CurrentTab();
  ASSERT_TRUE(WaitForTabTitle(second, "新标签页"));
  EXPECT_EQ(window.get_title(), kStartTitle);
  EXPECT_EQ(Ask(second, Names("favourites")),
            "<img src=x onerror=alert(1)>|<script>document.title='owned'<\\script>|Added");

  // From then on the window keeps the next start page ready, and the ready
  // page follows the favourites: one added now is on the next new tab,
  // which takes the page as it is and asks for nothing.
  ui::ReadyStartPage& ready = window.tab_strip().ready_start_page();
  ASSERT_TRUE(RunUntil([&] { return ready.IsReady(); }));
  const int served = context_->start_page().pages_served();
  EXPECT_EQ(served, 3) << "the first tab's, the second's and the ready one";
  WriteFavourite("Later", pages_->Url("/title/E"));
  ASSERT_TRUE(RunUntil([&] { return context_->start_page().pages_served() > served && ready.IsReady(); }));
  const int served_before_tab = context_->start_page().pages_served();
  window.activate_action("win.new-tab");
  ui::BrowserTab& third = window.tab_strip().CurrentTab();
  EXPECT_EQ(window.tab_strip().BrowsingTabCount(), 3);
  EXPECT_EQ(third.page().Title(), "新标签页") << "shown at once";
  EXPECT_EQ(window.get_title(), kStartTitle);
  EXPECT_FALSE(ready.IsReady()) << "taken";
  EXPECT_EQ(Ask(third, Names("favourites")), "<img src=x onerror=alert(1)>|<script>document.title='owned'<\\script>|Added|Later");
  EXPECT_EQ(context_->start_page().pages_served(), served_before_tab);
  EXPECT_EQ(TotalHits(), 0) << "neither the page nor its icons come from the network";
  // Nothing of the start page enters the history.
  bool searched = false;
  std::vector<core::HistoryEntry> found;
  context_->history().Search("", 100, [&](std::vector<core::HistoryEntry> e) {
    found = std::move(e);
    searched = true;
  });
  context_->history().Flush();
  ASSERT_TRUE(searched);
  EXPECT_TRUE(found.empty()) << found.front().url;

  // The tab that took the ready page browses as any other.
  third.page().Load(pages_->Url("/title/E"));
  ASSERT_TRUE(WaitForTabTitle(third, "E"));
  EXPECT_EQ(window.get_title(), "E - NUVE浏览器M1");
}

TEST_F(StartPageTest, MostVisitedPagesCanBeRemovedForGoodAndTheSearchBoxSearchesOrOpens) {
  ui::MainWindow& window = Open();
  ASSERT_TRUE(WaitForTitle(kStartTitle)) << window.get_title();
  const std::string often = pages_->Url("/title/often");
  const std::string sometimes = pages_->Url("/title/sometimes");
  for (int i = 0; i < 3; ++i) context_->history().RecordVisit(often, "Often");
  context_->history().RecordVisit(sometimes, "Sometimes");
  context_->history().Flush();

  ui::BrowserTab& tab = window.tab_strip().CurrentTab();
  // The page shown so far is marked, so that only a new one counts.
  RunScript(tab.page().view(), "document.title = 'before';");
  tab.page().Load("nuve://start");
  ASSERT_TRUE(RunUntil([&] { return context_->start_page().pages_served() == 2 && tab.page().Title() == "新标签页"; }));
  EXPECT_EQ(Ask(tab, Names("most-visited")), "Often|Sometimes");

  // The window keeps its next start page ready once it has opened a new tab.
  window.activate_action("win.new-tab");
  ui::ReadyStartPage& ready = window.tab_strip().ready_start_page();
  ASSERT_TRUE(RunUntil([&] { return ready.IsReady(); }));
  EXPECT_EQ(Ask(window.tab_strip().CurrentTab(), Names("most-visited")), "Often|Sometimes");

  // The remove control: the page comes again without it, in this run and
  // the next, and so does the ready page.
  const int served = context_->start_page().pages_served();
  RunScript(tab.page().view(), "document.title = 'before'; document.querySelector('#most-visited .remove').click();");
  ASSERT_TRUE(RunUntil([&] {
    return context_->start_page().pages_served() == served + 2 && tab.page().Title() == "新标签页" && ready.IsReady();
  }));
  EXPECT_EQ(Ask(tab, Names("most-visited")), "Sometimes");
  window.activate_action("win.new-tab");
  EXPECT_EQ(Ask(window.tab_strip().CurrentTab(), Names("most-visited")), "Sometimes") << "the ready page, loaded again";
  EXPECT_EQ(context_->start_page().pages_served(), served + 2);
  window.tab_strip().SelectTab(0);
  EXPECT_EQ(core::RemovedPages(home_->path() / "start-page-removed.txt").Load(),
            std::vector<std::string>{often});
  EXPECT_EQ(tab.page().Uri(), "nuve://start");

  // Words are searched with the preset; an address is opened.
  RunScript(tab.page().view(),
            "document.querySelector('input[name=q]').value = 'two words'; document.querySelector('form').submit();");
  ASSERT_TRUE(WaitForTabTitle(tab, "search")) << tab.page().Uri() << " | " << tab.page().Title() << " | state "
                                               << static_cast<int>(tab.page().state()) << " loading "
                                               << tab.page().IsLoading();
  EXPECT_EQ(tab.page().Uri(), pages_->Url("/title/search?wd=two%20words"));
  tab.page().Load("nuve://start");
  ASSERT_TRUE(WaitForTabTitle(tab, "新标签页")) << tab.page().Uri() << " | " << tab.page().Title() << " | state "
                                                 << static_cast<int>(tab.page().state()) << " loading "
                                                 << tab.page().IsLoading();
  RunScript(tab.page().view(), "document.querySelector('input[name=q]').value = '" +
                                   pages_->Url("/title/typed").substr(7) + "'; document.querySelector('form').submit();");
  ASSERT_TRUE(WaitForTabTitle(tab, "typed")) << tab.page().Uri();
  EXPECT_EQ(tab.page().Uri(), pages_->Url("/title/typed"));
}

TEST_F(StartPageTest, AWebPageCanNeitherOpenNorFrameNorEmbedTheStartPage) {
  ui::MainWindow& window = Open(pages_->Url("/to-start"));
  ui::BrowserTab& tab = window.tab_strip().CurrentTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "to-start"));
  RunUntil([] { return false; }, 800);  // time for the page's script to try
  EXPECT_EQ(tab.page().Uri(), pages_->Url("/to-start"));

  tab.page().Load(pages_->Url("/frame-start"));
  ASSERT_TRUE(WaitForTabTitle(tab, "icon refused")) << tab.page().Title();
  EXPECT_EQ(context_->start_page().pages_served(), 0);

  // Its actions, asked for by a web page, do nothing.
  RunScript(tab.page().view(), "location.href = 'nuve://start/remove?u=http%3A%2F%2Fa.test%2F';");
  RunUntil([] { return false; }, 500);
  EXPECT_TRUE(core::RemovedPages(home_->path() / "start-page-removed.txt").Load().empty());
  EXPECT_EQ(tab.page().Uri(), pages_->Url("/frame-start"));
}

TEST_F(StartPageTest, TheFirstPresetNamesTheStartPageAndASavedHomePageOpensInNewTabsInstead) {
  ui::MainWindow& window = Open();
  ASSERT_TRUE(WaitForTitle(kStartTitle)) << window.get_title();
  window.activate_action("win.settings");
  ASSERT_FALSE(ui_host_.modals.empty());
  Gtk::Window& settings = *ui_host_.modals.back();
  auto& preset = Named<Gtk::Button>(settings, "图形按钮1");
  std::string label;
  for (Gtk::Widget* w = preset.get_child()->get_first_child(); w != nullptr; w = w->get_next_sibling()) {
    if (auto* text = dynamic_cast<Gtk::Label*>(w)) label = text->get_text();
  }
  EXPECT_EQ(label, "起始页");
  Click(preset);
  EXPECT_EQ(Named<Gtk::Entry>(settings, "编辑框1").get_text().raw(), "nuve://start");
  settings.close();
  ui_host_.modals.clear();
  ui_host_.closers.clear();

  ASSERT_TRUE(context_->settings().SetHomePage(pages_->Url("/title/home").substr(7)).ok());
  window.activate_action("win.new-tab");
  ASSERT_TRUE(RunUntil([&] { return window.tab_strip().BrowsingTabCount() == 2; }));
  EXPECT_TRUE(WaitForTabTitle(window.tab_strip().CurrentTab(), "home"));
  EXPECT_EQ(context_->start_page().pages_served(), 1);
}

}  // namespace
}  // namespace nuve::test
