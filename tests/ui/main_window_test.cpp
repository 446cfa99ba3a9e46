// The main window with real web views against pages on 127.0.0.1.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "core/app/tab_caption.h"
#include "core/settings/app_settings.h"
#include "core/util/curl_library.h"
#include "core/util/read_url_helper.h"
#include "support/page_server.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

using core::TabCaption;

TEST_F(MainWindowTest, AddressArgumentOpensInTheFirstTabAndTheTitleFollows) {
  ui::MainWindow& window = Open(pages_->Url("/title/Alpha"));
  ASSERT_TRUE(WaitForTitle("Alpha - NUVE浏览器M1")) << window.get_title();
  EXPECT_EQ(window.tab_strip().BrowsingTabCount(), 1);
  EXPECT_EQ(window.tab_strip().notebook().get_n_pages(), 2) << "one tab and the new-tab tab";
  EXPECT_EQ(window.navigation_bar().Address(), pages_->Url("/title/Alpha"));
  EXPECT_EQ(window.tab_strip().FirstTab().page().Uri(), pages_->Url("/title/Alpha"));
  EXPECT_TRUE(RunUntil([&] { return window.tab_strip().notebook().get_tab_label(window.tab_strip().FirstTab().widget())
                                        ->get_tooltip_text().raw() == "Alpha\r\n" + pages_->Url("/title/Alpha"); }));
  // With an address, the other start-up steps still run: the logout item's
  // state is read (missing state: enabled).
  EXPECT_TRUE(window.lookup_action("logout")->get_enabled());
}

TEST_F(MainWindowTest, WithoutAddressTheSavedHomePageOpensAndIsKept) {
  const core::AppSettings settings(core::Config::FromEnvironment());
  ASSERT_TRUE(settings.SetHomePage("127.0.0.1:" + std::to_string(pages_->port()) + "/title/Home").ok());
  ASSERT_TRUE(LoginIni().Write("登录配置", "登录态", "0").ok());
  ui::MainWindow& window = Open();
  ASSERT_TRUE(WaitForTitle("Home - NUVE浏览器M1")) << window.get_title();
  EXPECT_EQ(settings.HomePage(), "127.0.0.1:" + std::to_string(pages_->port()) + "/title/Home")
      << "the home page survives a start";
  EXPECT_FALSE(window.lookup_action("logout")->get_enabled()) << "logged out: the logout item is off";
}

TEST_F(MainWindowTest, WithoutAddressOrHomePagePortalAOpens) {
  ui::MainWindow& window = Open();
  ASSERT_TRUE(WaitForTitle("portal - NUVE浏览器M1")) << window.get_title();
}

TEST_F(MainWindowTest, TheBuiltInStartPageLeavesTheAddressBoxFocusedAndSelected) {
  ClearEnv("NUVE_PORTAL_A");  // the built-in start page: nuve://start, no request at all
  ui::MainWindow& window = Open();
  ui::NavigationBar& bar = window.navigation_bar();
  auto address_selected = [&] {
    auto* entry = dynamic_cast<Gtk::Entry*>(bar.get_first_child());
    int start = 0;
    int end = 0;
    for (Gtk::Widget* w = bar.get_first_child(); w != nullptr && entry == nullptr; w = w->get_next_sibling()) {
      entry = dynamic_cast<Gtk::Entry*>(w);
    }
    return entry != nullptr && entry->get_selection_bounds(start, end) && start == 0 &&
           end == static_cast<int>(entry->get_text().size()) && bar.AddressHasFocus();
  };
  ASSERT_TRUE(RunUntil([&] { return window.tab_strip().FirstTab().page().Uri() == "nuve://start"; }));
  EXPECT_EQ(bar.Address(), "nuve://start");
  EXPECT_TRUE(RunUntil(address_selected, 3000));
  window.activate_action("win.new-tab");
  ASSERT_TRUE(RunUntil([&] { return window.tab_strip().BrowsingTabCount() == 2; }));
  ASSERT_TRUE(RunUntil([&] { return window.tab_strip().CurrentTab().page().Uri() == "nuve://start"; }));
  EXPECT_EQ(bar.Address(), "nuve://start");
  EXPECT_TRUE(RunUntil(address_selected, 3000)) << "a new tab too";
  EXPECT_EQ(pages_->Hits("/title/portal"), 0);
}

TEST_F(MainWindowTest, NewTabTabOpensPortalABeforeItself) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));
  strip.notebook().set_current_page(strip.notebook().get_n_pages() - 1);  // the user picks the new-tab tab
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 2; }));
  EXPECT_EQ(strip.CurrentIndex(), 1);
  EXPECT_EQ(strip.notebook().get_n_pages(), 3);
  ASSERT_TRUE(WaitForTitle("portal - NUVE浏览器M1"));
  EXPECT_EQ(strip.TabAt(1).page().Title(), "portal");
  // Ctrl+T's action opens the third tab the same way.
  window.activate_action("win.new-tab");
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 3; }));
  EXPECT_EQ(strip.CurrentIndex(), 2);
  EXPECT_TRUE(WaitForTabTitle(strip.TabAt(2), "portal"));
  // The new-tab tab is still the last one and holds no page.
  EXPECT_EQ(strip.notebook().get_tab_label_text(*strip.notebook().get_nth_page(3)).raw(), "新选项卡(Ctrl+T)");
}

TEST_F(MainWindowTest, ClosingKeepsTheFirstTabAndSelectsTheLeftNeighbour) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::TabStrip& strip = window.tab_strip();
  strip.OpenTab(pages_->Url("/title/Two"));
  strip.OpenTab(pages_->Url("/title/Three"));
  ASSERT_TRUE(WaitForTitle("Three - NUVE浏览器M1"));
  ASSERT_TRUE(WaitForTabTitle(strip.TabAt(1), "Two"));

  strip.CloseCurrentTab();
  EXPECT_EQ(strip.BrowsingTabCount(), 2);
  EXPECT_EQ(strip.CurrentIndex(), 1);
  EXPECT_EQ(window.get_title().raw(), "Two - NUVE浏览器M1");
  EXPECT_EQ(window.navigation_bar().Address(), pages_->Url("/title/Two"));

  // The close button on the current tab's header.
  Gtk::Widget* header = strip.notebook().get_tab_label(strip.TabAt(1).widget());
  Gtk::Button* close = nullptr;
  for (auto* child = header->get_first_child(); child; child = child->get_next_sibling()) {
    if (child->get_name() == "图形按钮6") close = dynamic_cast<Gtk::Button*>(child);
  }
  ASSERT_NE(close, nullptr);
  EXPECT_TRUE(close->get_visible());
  close->activate();
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 1; }));
  EXPECT_EQ(strip.CurrentIndex(), 0);

  strip.CloseCurrentTab();  // the first tab stays
  EXPECT_EQ(strip.BrowsingTabCount(), 1);
  EXPECT_EQ(strip.notebook().get_n_pages(), 2);
}

TEST_F(MainWindowTest, NavigationButtonsActOnTheCurrentTab) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));
  ui::BrowserTab& second = strip.OpenTab(pages_->Url("/title/A"));
  ASSERT_TRUE(WaitForTabTitle(second, "A"));
  window.navigation_bar().SetAddress(pages_->Url("/title/B"));
  window.navigation_bar().signal_go().emit();
  ASSERT_TRUE(WaitForTabTitle(second, "B"));

  window.navigation_bar().signal_back().emit();
  ASSERT_TRUE(WaitForTabTitle(second, "A"));
  EXPECT_EQ(strip.FirstTab().page().Title(), "One") << "the first tab's history is untouched";
  window.navigation_bar().signal_forward().emit();
  ASSERT_TRUE(WaitForTabTitle(second, "B"));

  const int before = pages_->Hits("/title/B");
  window.navigation_bar().signal_refresh().emit();
  ASSERT_TRUE(RunUntil([&] { return pages_->Hits("/title/B") > before; }));
  EXPECT_EQ(pages_->Hits("/title/One"), 1);

  // Stop ends a slow load in the current tab.
  pages_->set_slow_ms(3000);
  second.page().Load(pages_->Url("/slow"));
  ASSERT_TRUE(
      RunUntil([&] { return pages_->SlowArrivals() == 1 && webkit_web_view_is_loading(second.page().view()); }));
  window.navigation_bar().signal_stop().emit();
  EXPECT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(second.page().view()); }, 2000));
}

TEST_F(MainWindowTest, HomeLoadsTheHomePageIntoTheCurrentTab) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::TabStrip& strip = window.tab_strip();
  ui::BrowserTab& second = strip.OpenTab(pages_->Url("/title/Two"));
  ASSERT_TRUE(WaitForTabTitle(second, "Two"));
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "One")) << "a background tab loads too";
  window.navigation_bar().signal_home().emit();
  EXPECT_TRUE(WaitForTabTitle(second, "portal"));
  EXPECT_EQ(strip.FirstTab().page().Title(), "One");
}

TEST_F(MainWindowTest, BlankTargetLinkAndWindowOpenOpenNewTabs) {
  ui::MainWindow& window = Open(pages_->Url("/blank-link"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTitle("links - NUVE浏览器M1"));
  RunScript(strip.FirstTab().page().view(), "document.getElementById('l').click()");
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 2; }));
  EXPECT_EQ(strip.CurrentIndex(), 1);
  ASSERT_TRUE(WaitForTitle("child - NUVE浏览器M1")) << window.get_title();
  EXPECT_EQ(strip.TabAt(1).page().Uri(), pages_->Url("/title/child"));
  EXPECT_EQ(window.navigation_bar().Address(), pages_->Url("/title/child"));

  ui::BrowserTab& opener = strip.OpenTab(pages_->Url("/popup"));
  ASSERT_TRUE(WaitForTabTitle(opener, "opener"));
  RunScript(opener.page().view(), "document.getElementById('b').click()");
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 4; }));
  EXPECT_EQ(strip.CurrentIndex(), 3) << "the new tab stands last before the new-tab tab";
  EXPECT_TRUE(WaitForTitle("popup - NUVE浏览器M1")) << window.get_title();
}

TEST_F(MainWindowTest, BackgroundTabKeepsItsOwnCaption) {
  ui::MainWindow& window = Open(pages_->Url("/late-title/Later"));
  ui::TabStrip& strip = window.tab_strip();
  ui::BrowserTab& first = strip.FirstTab();
  ASSERT_TRUE(WaitForTabTitle(first, "early"));
  ui::BrowserTab& second = strip.OpenTab(pages_->Url("/title/Front"));
  ASSERT_TRUE(WaitForTitle("Front - NUVE浏览器M1"));
  ASSERT_TRUE(WaitForTabTitle(first, "Later"));

  auto caption_of = [&](ui::BrowserTab& tab) {
    for (auto* child = tab.header().get_first_child(); child; child = child->get_next_sibling()) {
      if (auto* label = dynamic_cast<Gtk::Label*>(child)) return std::string(label->get_text());
    }
    return std::string();
  };
  EXPECT_TRUE(RunUntil([&] { return caption_of(first) == TabCaption("Later"); }, 3000)) << caption_of(first);
  EXPECT_EQ(caption_of(second), TabCaption("Front"));
  EXPECT_EQ(window.get_title().raw(), "Front - NUVE浏览器M1") << "only the current tab titles the window";
  EXPECT_EQ(window.navigation_bar().Address(), pages_->Url("/title/Front"));
}

TEST_F(MainWindowTest, TabsShowTheSiteIconOrTheDefaultOne) {
  ui::MainWindow& window = Open(pages_->Url("/with-icon"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  auto* icon = dynamic_cast<Gtk::Image*>(tab.header().get_first_child());
  ASSERT_NE(icon, nullptr);
  ASSERT_TRUE(WaitForTabTitle(tab, "iconic"));
  EXPECT_TRUE(RunUntil([&] { return icon->get_storage_type() == Gtk::Image::Type::PAINTABLE; }, 10000));
  EXPECT_GE(pages_->Hits("/icon.png"), 1);
  // A page without an icon goes back to the default page icon.
  tab.page().Load(pages_->Url("/title/Plain"));
  ASSERT_TRUE(WaitForTabTitle(tab, "Plain"));
  EXPECT_TRUE(RunUntil([&] { return icon->get_storage_type() == Gtk::Image::Type::ICON_NAME; }, 5000));
}

TEST_F(MainWindowTest, ProxyStartSendsPagesThroughTheProxy) {
  CountingProxy proxy;
  core::StartRequest start;
  start.proxy_host = "127.0.0.1";
  start.proxy_port = std::to_string(proxy.port());
  start.address = "http://nuve-test.invalid/page";
  ui::MainWindow& window = Open(start);
  ASSERT_TRUE(WaitForTitle("via proxy - 127.0.0.1 - NUVE浏览器M1")) << window.get_title();
  EXPECT_GE(proxy.Requests(), 1);
  EXPECT_EQ(context_->engine().proxy_list(), "ftp= 127.0.0.1:" + start.proxy_port + ";http= 127.0.0.1:" +
                                        start.proxy_port + ";https= 127.0.0.1:" + start.proxy_port +
                                        ";socks= 127.0.0.1:" + start.proxy_port);
}

TEST_F(MainWindowTest, FailedAndHangingPagesShowAnErrorPageAndTheWindowGoesOn) {
  SetEnv("NUVE_PAGE_TIMEOUT_MS", "800");
  pages_->set_slow_ms(5000);
  ui::MainWindow& window = Open(pages_->Url("/slow"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "无法显示此网页", 4000)) << strip.FirstTab().page().Title();

  // A refused connection: WebKit's own error page, and the tab stays usable.
  ui::BrowserTab& tab = strip.OpenTab("http://127.0.0.1:1/");
  ASSERT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(tab.page().view()); }));
  tab.page().Load(pages_->Url("/title/Recovered"));
  EXPECT_TRUE(WaitForTabTitle(tab, "Recovered"));
}

TEST_F(MainWindowTest, ClosingTheWindowWritesTheLoggedOutState) {
  ASSERT_TRUE(LoginIni().Write("登录配置", "登录态", "1").ok());
  Open(pages_->Url("/title/One"));
  EXPECT_TRUE(window_->lookup_action("logout")->get_enabled());
  window_.reset();
  EXPECT_EQ(LoginIni().Read("登录配置", "登录态"), "0");
}

TEST_F(MainWindowTest, NewerPublishedVersionIsReported) {
  httplib::Server source;
  source.Get("/fcg-bin/cgi_get_portrait.fcg", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("cb({\"77\":[\"12345678\"beta M1.4.00\"]})", "text/plain");
  });
  const int port = source.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { source.listen_after_bind(); });
  SetEnv("NUVE_VERSION_SOURCE", "http://127.0.0.1:" + std::to_string(port));
  SetEnv("NUVE_VERSION_KEY", "77");
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  // The window and its first page need no HTTP of the program's own. The
  // version check, after the page, runs in the fetch helper where one is
  // installed, and loads libcurl into this process only where none is.
  EXPECT_FALSE(core::CurlLibraryLoaded());
  std::string reported;
  window.signal_newer_version().connect([&](const std::string& label) { reported = label; });
  EXPECT_TRUE(RunUntil([&] { return !reported.empty(); }, 10000));
  EXPECT_EQ(reported, "beta M1.4.00");
  EXPECT_EQ(core::CurlLibraryLoaded(), core::FetchHelperPath().empty());
  source.stop();
  thread.join();
}

}  // namespace
}  // namespace nuve::test

namespace nuve::test {
namespace {

// These use the real pointer through xdotool, as a person would.
TEST_F(MainWindowTest, DoubleClickOnTheTabStripClosesTheCurrentTab) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::TabStrip& strip = window.tab_strip();
  strip.OpenTab(pages_->Url("/title/Two"));
  ASSERT_TRUE(WaitForTitle("Two - NUVE浏览器M1"));
  // The first page, now in the background, has loaded too.
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "One"));
  ASSERT_TRUE(WaitUntilShown(strip.TabAt(1).header()));
  Gtk::Widget& second_header = strip.TabAt(1).header();
  ASSERT_TRUE(PointerAt(second_header, second_header.get_width() / 2.0 - 20, second_header.get_height() / 2.0,
                        "click --repeat 2 --delay 60 1"));
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 1; }, 5000));
  EXPECT_EQ(strip.CurrentIndex(), 0);

  // On the first tab a double-click changes nothing. Ctrl+T after it proves
  // that the double-click arrived: the X server delivers input in order.
  ASSERT_TRUE(PointerAtCentre(strip.FirstTab().header(), "click --repeat 2 --delay 60 1"));
  ASSERT_TRUE(XDoTool("key ctrl+t"));
  ASSERT_TRUE(RunUntil([&] { return strip.notebook().get_n_pages() == 3; }, 5000));
  EXPECT_EQ(strip.BrowsingTabCount(), 2);
  EXPECT_EQ(strip.FirstTab().page().Title(), "One");
}

TEST_F(MainWindowTest, StatusBarShowsTheLinkUnderThePointer) {
  ui::MainWindow& window = Open(pages_->Url("/blank-link"));
  ASSERT_TRUE(WaitForTitle("links - NUVE浏览器M1"));
  Gtk::Widget& page = window.tab_strip().FirstTab().widget();
  ASSERT_TRUE(WaitUntilShown(page));
  // The link is the first thing on the page, inside the body's margin.
  ASSERT_TRUE(PointerAt(page, 14, 16, ""));
  EXPECT_TRUE(RunUntil([&] { return window.status_bar().get_text().raw() == pages_->Url("/title/child"); }, 5000))
      << window.status_bar().get_text();
  ASSERT_TRUE(PointerAt(page, 314, 216, ""));
  EXPECT_TRUE(RunUntil([&] { return window.status_bar().get_text().empty(); }, 5000));
}

TEST_F(MainWindowTest, TitleChangesLeaveTheTypedAddressAlone) {
  ui::MainWindow& window = Open(pages_->Url("/late-title/Later"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "early"));
  window.navigation_bar().FocusAddress();
  window.navigation_bar().SetAddress("www.typed.test");
  ASSERT_TRUE(WaitForTitle("Later - NUVE浏览器M1"));
  EXPECT_EQ(window.navigation_bar().Address(), "www.typed.test");
}

TEST_F(MainWindowTest, FirstClickAfterLeavingTheAddressBoxSelectsTheAddress) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));
  Gtk::Entry& entry = window.navigation_bar().address_entry();
  ASSERT_TRUE(WaitUntilShown(entry));
  auto page_has_focus = [&] {
    return gtk_root_get_focus(GTK_ROOT(window.gobj())) == GTK_WIDGET(window.tab_strip().CurrentTab().page().view());
  };
  // The focus is on the page after Go: the entry has lost it, so the next
  // plain click selects the whole address.
  window.navigation_bar().FocusAddress();
  window.tab_strip().CurrentTab().page().Focus();
  ASSERT_TRUE(RunUntil(page_has_focus, 3000));
  ASSERT_TRUE(PointerAtCentre(entry, "click 1"));
  int start = 0;
  int end = 0;
  ASSERT_TRUE(RunUntil([&] { return entry.get_selection_bounds(start, end) && start != end; }, 3000));
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, static_cast<int>(entry.get_text_length()));
  // The click after that only places the caret (not so soon that it makes a double-click).
  LetDoubleClickTimePass();
  ASSERT_TRUE(PointerAtCentre(entry, "click 1"));
  EXPECT_TRUE(RunUntil([&] { return !(entry.get_selection_bounds(start, end) && start != end); }, 3000));
  // A right click after the box lost the focus selects just the same.
  window.tab_strip().CurrentTab().page().Focus();
  ASSERT_TRUE(RunUntil(page_has_focus, 3000));
  ASSERT_TRUE(PointerAtCentre(entry, "click 3"));
  EXPECT_TRUE(RunUntil([&] { return entry.get_selection_bounds(start, end) && start == 0 && end > 0; }, 3000));
}

}  // namespace
}  // namespace nuve::test

namespace nuve::test {
namespace {

// Kills (SIGKILL) every web process started by this test process.
int KillOwnWebProcesses() {
  int killed = 0;
  const pid_t self = getpid();
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (ReadFileBytes(entry.path() / "comm").rfind("WebKitWebProces", 0) != 0) continue;
    // Walk up the parents: the web process may sit below a sandbox launcher.
    pid_t pid = std::stoi(name);
    for (int depth = 0; depth < 8 && pid > 1; ++depth) {
      const std::string stat = ReadFileBytes("/proc/" + std::to_string(pid) + "/stat");
      const auto close = stat.rfind(')');
      if (close == std::string::npos) break;
      std::istringstream rest(stat.substr(close + 2));
      char state = 0;
      pid_t parent = 0;
      rest >> state >> parent;
      if (parent == self) {
        kill(std::stoi(name), SIGKILL);
        ++killed;
        break;
      }
      pid = parent;
    }
  }
  return killed;
}

TEST_F(MainWindowTest, CrashedWebProcessShowsAnErrorPageInItsTab) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "One"));
  ASSERT_GE(KillOwnWebProcesses(), 1);
  ASSERT_TRUE(WaitForTabTitle(tab, "无法显示此网页", 10000)) << tab.page().Title();
  // Refresh brings the page back in a new web process.
  window.navigation_bar().signal_refresh().emit();
  EXPECT_TRUE(WaitForTabTitle(tab, "One", 10000)) << tab.page().Title();
}

}  // namespace
}  // namespace nuve::test

namespace nuve::test {
namespace {

TEST_F(MainWindowTest, TabsAreKnownByIdentityWhereverTheyStand) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::TabStrip& strip = window.tab_strip();
  ui::BrowserTab& two = strip.OpenTab(pages_->Url("/title/Two"));
  ui::BrowserTab& three = strip.OpenTab(pages_->Url("/title/Three"));
  ASSERT_TRUE(WaitForTitle("Three - NUVE浏览器M1"));
  // The first page waited for the content filters; the others did not.
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "One"));
  const ui::BrowserTab::Id three_id = three.id();
  EXPECT_NE(two.id(), three_id);
  // Moving a tab (as dragging will) changes its place, not its identity.
  strip.notebook().reorder_child(three.widget(), 1);
  EXPECT_EQ(&strip.TabAt(1), &three);
  EXPECT_EQ(strip.IndexOf(two), 2);
  EXPECT_EQ(strip.Tabs(), (std::vector<ui::BrowserTab*>{&strip.FirstTab(), &three, &two}));
  EXPECT_EQ(&strip.CurrentTab(), &three) << "the current tab is still the one the user chose";
  // Closing the current tab closes that tab and selects its new left neighbour.
  strip.CloseCurrentTab();
  EXPECT_EQ(strip.FindTab(three_id), nullptr);
  EXPECT_EQ(strip.BrowsingTabCount(), 2);
  EXPECT_EQ(&strip.CurrentTab(), &strip.FirstTab());
  EXPECT_EQ(window.get_title().raw(), "One - NUVE浏览器M1");
  EXPECT_THROW(strip.TabAt(2), std::out_of_range) << "the new-tab tab is no browsing tab";
}

TEST_F(MainWindowTest, ACookieSetByAPageIsThereAfterARestart) {
  ui::MainWindow& first_run = Open(pages_->Url("/set-cookie"));
  ASSERT_TRUE(WaitForTitle("cookie set - NUVE浏览器M1"));
  first_run.tab_strip().FirstTab().page().Load(pages_->Url("/show-cookie"));
  ASSERT_TRUE(WaitForTitle("nuve=kept - NUVE浏览器M1")) << first_run.get_title();
  // A new start: a new window on a new profile, the same data folder.
  window_.reset();
  context_.reset();
  RunPending();
  ASSERT_TRUE(RunUntil([&] { return std::filesystem::exists(home_->path() / "cookies.sqlite"); }));
  ui::MainWindow& second_run = Open(pages_->Url("/show-cookie"));
  EXPECT_TRUE(WaitForTitle("nuve=kept - NUVE浏览器M1")) << second_run.get_title();
  EXPECT_TRUE(std::filesystem::exists(home_->path() / "cookies.sqlite"));
}

}  // namespace
}  // namespace nuve::test
