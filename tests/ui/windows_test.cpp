// Several windows at once: normal ones sharing the profile, private ones on
// a profile of their own that keeps nothing, and the program's end with the
// last window.
#include <gtest/gtest.h>

#include <glib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/app/window_title.h"
#include "core/settings/app_settings.h"
#include "core/start_page/start_page.h"
#include "ui/app/browser_windows.h"
#include "ui/main/ready_start_page.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

namespace fs = std::filesystem;

// Every file and folder under `root` with its size and modification time.
using Snapshot = std::map<std::string, std::string>;

void AddTree(Snapshot& snapshot, const fs::path& root, const std::vector<std::string>& skipped = {}) {
  std::error_code ec;
  if (!fs::exists(root, ec)) return;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string relative = fs::relative(it->path(), root, ec).string();
    if (std::any_of(skipped.begin(), skipped.end(), [&](const auto& s) { return relative.starts_with(s); })) continue;
    const auto time = fs::last_write_time(it->path(), ec).time_since_epoch().count();
    const auto size = it->is_regular_file(ec) ? it->file_size(ec) : 0;
    snapshot[(root / relative).string()] = std::to_string(size) + "@" + std::to_string(time);
  }
}

// What the program and the engine write to: NUVE_HOME, and the engine's own
// folders in the XDG folders (its accessibility bus address is no browsing).
Snapshot TakeSnapshot(const fs::path& home) {
  Snapshot snapshot;
  AddTree(snapshot, home);
  AddTree(snapshot, fs::path(g_get_user_data_dir()) / "webkitgtk");
  AddTree(snapshot, fs::path(g_get_user_cache_dir()) / "webkitgtk", {"at-spi-bus", "bus-proxy-"});
  AddTree(snapshot, fs::path(g_get_user_config_dir()) / "NUVE");
  return snapshot;
}

std::string Differences(const Snapshot& before, const Snapshot& after) {
  std::string text;
  for (const auto& [path, stamp] : after) {
    const auto it = before.find(path);
    if (it == before.end()) text += "new: " + path + "\n";
    else if (it->second != stamp) text += "changed: " + path + "\n";
  }
  for (const auto& [path, stamp] : before) {
    if (after.count(path) == 0) text += "gone: " + path + "\n";
  }
  return text;
}

class WindowsTest : public MainWindowTest {
 protected:
  void TearDown() override {
    windows_.reset();
    RunPending();
    MainWindowTest::TearDown();
  }

  // A fresh context with the list of windows the application would keep;
  // the first window shows `address`.
  ui::MainWindow& Start(const std::string& address) {
    windows_.reset();
    window_.reset();
    context_.reset();
    RunPending();
    context_ = std::make_unique<ui::AppContext>(core::Config::FromEnvironment(), ui_host_);
    emptied_ = false;
    windows_ = std::make_unique<ui::BrowserWindows>(*context_, nullptr, nullptr, [this] { emptied_ = true; });
    core::StartRequest start;
    start.address = address;
    ui::MainWindow& first = windows_->OpenFirst(start);
    for (ui::MainWindow* window : windows_->windows()) window->present();
    return first;
  }

  ui::MainWindow& OpenWindow(bool is_private, const std::string& address) {
    ui::MainWindow& window = windows_->Open(is_private, address);
    window.present();
    return window;
  }

  // Closes `window` as its close button does and waits until it is gone.
  bool Close(ui::MainWindow& window) {
    const auto before = windows_->windows().size();
    window.close();
    const bool gone = RunUntil([&] { return windows_->windows().size() < before; }, 5000);
    if (!gone) ADD_FAILURE() << "still there; visible " << window.get_visible() << " count " << windows_->windows().size();
    return gone;
  }

  static ui::BrowserTab& Tab(ui::MainWindow& window) { return window.tab_strip().CurrentTab(); }
  bool Shows(ui::MainWindow& window, const std::string& title) { return WaitForTabTitle(Tab(window), title); }
  // The Cookie header `window` sends to the page server.
  std::string CookieSent(ui::MainWindow& window) {
    Tab(window).page().Load(pages_->Url("/show-cookie"));
    if (!RunUntil([&] { return Tab(window).page().Uri().ends_with("/show-cookie") && !Tab(window).page().IsLoading() &&
                             !Tab(window).page().Title().empty(); })) {
      return "<no answer>";
    }
    return Tab(window).page().Title();
  }

  std::unique_ptr<ui::BrowserWindows> windows_;
  bool emptied_ = false;
};

TEST_F(WindowsTest, APrivateWindowWritesNothingAndShowsItselfAsPrivate) {
  ui::MainWindow& normal = Start(pages_->Url("/title/normal"));
  ASSERT_TRUE(Shows(normal, "normal"));
  // Whatever the normal window writes at start-up has been written.
  ASSERT_TRUE(WaitForQuiet());
  RunUntil([] { return false; }, 1500);
  context_->session().Flush();
  const Snapshot before = TakeSnapshot(home_->path());

  ui::MainWindow& secret = OpenWindow(true, pages_->Url("/storage"));
  EXPECT_TRUE(secret.IsPrivate());
  EXPECT_TRUE(secret.has_css_class("private-window")) << "the dark header";
  ASSERT_TRUE(Shows(secret, "stored"));
  EXPECT_TRUE(RunUntil([&] { return std::string(secret.get_title()) == "stored - 无痕浏览 - NUVE浏览器M1"; }));
  WebKitWebView* view = Tab(secret).page().view();
  EXPECT_NE(EvaluateScript(view, "document.cookie").find("script=kept"), std::string::npos);
  EXPECT_EQ(EvaluateScript(view, "localStorage.getItem('nuve')"), "kept");
  // The same page again comes from the (memory) cache; another tab, another page.
  Tab(secret).page().Reload();
  ASSERT_TRUE(Shows(secret, "stored"));
  secret.tab_strip().OpenTab(pages_->Url("/title/secret"));
  ASSERT_TRUE(Shows(secret, "secret"));
  // The start page typed into a private tab says what is kept, and shows
  // none of the normal window's most visited pages.
  ui::BrowserTab& start = secret.tab_strip().OpenTab("nuve://start");
  ASSERT_TRUE(WaitForTabTitle(start, "新标签页"));
  const std::string shown = EvaluateScript(start.page().view(), "document.body.innerText");
  EXPECT_NE(shown.find("无痕浏览"), std::string::npos) << shown;
  EXPECT_EQ(EvaluateScript(start.page().view(), "String(document.getElementById('most-visited'))"), "null");
  ASSERT_TRUE(Close(secret));
  ASSERT_TRUE(WaitForQuiet());
  RunUntil([] { return false; }, 1500);
  context_->session().Flush();

  EXPECT_EQ(Differences(before, TakeSnapshot(home_->path())), "");
  EXPECT_EQ(pages_->Hits("/title/secret"), 1);
  // Nothing of it in the history either: the normal window's completion and
  // start page know only the normal page.
  // The answer comes on the store's worker; Flush waits for it.
  core::HistoryStore::Entries visited;
  context_->history().Search("", 100, [&visited](core::HistoryStore::Entries entries) { visited = std::move(entries); });
  context_->history().Flush();
  ASSERT_FALSE(visited.empty()) << "the normal page is there";
  for (const auto& entry : visited) EXPECT_EQ(entry.url.find("secret"), std::string::npos) << entry.url;
  for (const auto& entry : visited) EXPECT_EQ(entry.url.find("storage"), std::string::npos) << entry.url;
}

TEST_F(WindowsTest, CookiesAreSharedByNormalWindowsAndNeverCrossToOrFromPrivateOnes) {
  ui::MainWindow& first = Start(pages_->Url("/set-cookie"));
  ASSERT_TRUE(Shows(first, "cookie set"));
  ui::MainWindow& second = OpenWindow(false, pages_->Url("/title/second"));
  ASSERT_TRUE(Shows(second, "second"));
  EXPECT_EQ(CookieSent(second), "nuve=kept") << "two normal windows share their cookies";

  ui::MainWindow& secret = OpenWindow(true, pages_->Url("/storage"));
  ASSERT_TRUE(Shows(secret, "stored"));
  const std::string private_cookies = CookieSent(secret);
  EXPECT_EQ(private_cookies.find("nuve=kept"), std::string::npos) << "a normal cookie reached a private window";
  EXPECT_NE(private_cookies.find("server=kept"), std::string::npos) << private_cookies;
  EXPECT_EQ(CookieSent(first), "nuve=kept") << "a private cookie reached a normal window";

  // A second private window shares the first one's cookies while it lives.
  ui::MainWindow& other_secret = OpenWindow(true, pages_->Url("/title/other"));
  ASSERT_TRUE(Shows(other_secret, "other"));
  EXPECT_NE(CookieSent(other_secret).find("server=kept"), std::string::npos);
  ASSERT_TRUE(Close(secret));
  ASSERT_TRUE(Close(other_secret));

  // The last private window took them along.
  ui::MainWindow& later = OpenWindow(true, pages_->Url("/title/later"));
  ASSERT_TRUE(Shows(later, "later"));
  EXPECT_EQ(CookieSent(later), "none");
}

// A private window keeps its next start page ready as a normal one does,
// on its own session: the page it hands over is private and browses with
// the private cookies.
TEST_F(WindowsTest, APrivateWindowsReadyStartPageIsPrivateToo) {
  SetEnv("NUVE_PORTAL_A", core::kStartPageAddress);
  ui::MainWindow& first = Start(pages_->Url("/title/first"));
  ASSERT_TRUE(Shows(first, "first"));
  ui::MainWindow& secret = OpenWindow(true, pages_->Url("/set-cookie"));
  ASSERT_TRUE(Shows(secret, "cookie set"));
  secret.activate_action("win.new-tab");
  ASSERT_TRUE(Shows(secret, core::kStartPageTitle));
  ui::ReadyStartPage& ready = secret.tab_strip().ready_start_page();
  ASSERT_TRUE(RunUntil([&] { return ready.IsReady(); }));

  secret.activate_action("win.new-tab");
  ui::BrowserTab& taken = Tab(secret);
  EXPECT_EQ(secret.tab_strip().BrowsingTabCount(), 3);
  EXPECT_EQ(taken.page().Title(), core::kStartPageTitle) << "shown at once";
  EXPECT_FALSE(ready.IsReady());
  EXPECT_TRUE(webkit_network_session_is_ephemeral(webkit_web_view_get_network_session(taken.page().view())));
  EXPECT_NE(EvaluateScript(taken.page().view(), "document.body.innerText").find(core::kPrivateStartPageNote),
            std::string::npos);
  EXPECT_EQ(CookieSent(secret), "nuve=kept");
  EXPECT_EQ(CookieSent(first), "none");
  EXPECT_FALSE(first.tab_strip().ready_start_page().IsReady()) << "a window that opened no new tab keeps none";
  // The window goes with its ready page before the private profile does,
  // and the normal window browses on, to the web and to its start page.
  ASSERT_TRUE(RunUntil([&] { return ready.IsReady(); }));
  ASSERT_TRUE(Close(secret));
  EXPECT_EQ(windows_->windows().size(), 1u);
  for (int i = 0; i < 3; ++i) {
    const std::string title = "after" + std::to_string(i);
    Tab(first).page().Load(pages_->Url("/title/" + title));
    ASSERT_TRUE(Shows(first, title));
    first.activate_action("win.new-tab");
    ASSERT_TRUE(Shows(first, core::kStartPageTitle));
  }
}

TEST_F(WindowsTest, APrivateWindowsDownloadsLeaveTheSharedListWhenItCloses) {
  ui::MainWindow& normal = Start(pages_->Url("/title/normal"));
  ASSERT_TRUE(Shows(normal, "normal"));
  ui::MainWindow& secret = OpenWindow(true, pages_->Url("/title/secret"));
  ASSERT_TRUE(Shows(secret, "secret"));
  Tab(secret).page().Load(pages_->Url("/download/4096"));
  ui::DownloadManager& downloads = context_->downloads();
  ASSERT_TRUE(RunUntil([&] {
    return downloads.items().size() == 1 && downloads.items()[0]->state() == ui::DownloadItem::State::kCompleted;
  }));
  const fs::path file = downloads.items()[0]->final_path();
  EXPECT_EQ(&normal.downloads(), &secret.downloads()) << "one list for every window";
  EXPECT_NE(normal.downloads_popover().RowOf(*downloads.items()[0]), nullptr) << "the normal window shows it too";

  ASSERT_TRUE(Close(secret));
  EXPECT_TRUE(downloads.items().empty());
  EXPECT_EQ(normal.downloads_popover().list().get_row_at_index(0), nullptr) << "its row went with it";
  EXPECT_EQ(ReadFileBytes(file), PageServer::DownloadBytes(4096)) << "the file the user saved stays";
}

TEST_F(WindowsTest, TheProgramEndsWithItsLastWindowInAnyOrderAndOnlyThenLogsOut) {
  const std::vector<std::vector<int>> orders = {{0, 1, 2}, {2, 1, 0}, {1, 0, 2}, {2, 0, 1}};
  for (const auto& order : orders) {
    SCOPED_TRACE(::testing::PrintToString(order));
    ui::MainWindow& first = Start(pages_->Url("/title/first"));
    context_->login_state().RecordLogin("alice");
    std::vector<ui::MainWindow*> open = {&first, &OpenWindow(false, ""), &OpenWindow(true, "")};
    ASSERT_EQ(context_->window_count(), 3);
    for (size_t i = 0; i < order.size(); ++i) {
      ASSERT_TRUE(Close(*open[order[i]]));
      const bool last = i + 1 == order.size();
      EXPECT_EQ(emptied_, last);
      EXPECT_EQ(LoginIni().Read("登录配置", "登录态"), last ? "0" : "1");
    }
    EXPECT_EQ(context_->window_count(), 0);
  }
}

TEST_F(WindowsTest, TheMenuAndTheContextMenuOpenWindowsOfTheSameKind) {
  ui::MainWindow& first = Start(pages_->Url("/links"));
  ASSERT_TRUE(RunUntil([&] { return !Tab(first).page().IsLoading(); }));
  first.activate_action("win.new-window");
  ASSERT_EQ(windows_->windows().size(), 2u);
  EXPECT_FALSE(windows_->windows()[1]->IsPrivate());
  first.activate_action("win.new-private-window");
  ASSERT_EQ(windows_->windows().size(), 3u);
  ui::MainWindow& secret = *windows_->windows()[2];
  ASSERT_TRUE(secret.IsPrivate());

  // The private window's start page says what it keeps.
  ASSERT_TRUE(Shows(secret, "portal")) << "a new window shows what a new tab shows";
  Tab(secret).page().Load(core::kStartPageAddress);
  ASSERT_TRUE(Shows(secret, core::kStartPageTitle)) << Tab(secret).page().Uri() << " " << Tab(secret).page().Title();
  EXPECT_TRUE(RunUntil([&] {
    return std::string(secret.get_title()) == std::string(core::kStartPageTitle) + " - 无痕浏览 - NUVE浏览器M1";
  }));
  const std::string text = EvaluateScript(Tab(secret).page().view(), "document.body.innerText");
  EXPECT_NE(text.find(core::kPrivateStartPageNote), std::string::npos) << text;
  Tab(first).page().Load(core::kStartPageAddress);
  ASSERT_TRUE(Shows(first, core::kStartPageTitle));
  EXPECT_EQ(EvaluateScript(Tab(first).page().view(), "document.getElementById('private-note') === null"), "true");

  // A favourite added elsewhere shows in every window's panel.
  ASSERT_TRUE(context_->favourites().Add("共享的收藏", pages_->Url("/title/shared")).status.ok());
  for (ui::MainWindow* window : windows_->windows()) {
    EXPECT_TRUE(RunUntil([&] {
      const auto titles = window->favourites_panel().Titles();
      return std::find(titles.begin(), titles.end(), "共享的收藏") != titles.end();
    })) << (window->IsPrivate() ? "private" : "normal");
  }

  // "在新窗口中打开链接" opens the link in a window of the menu's own kind.
  ui::PageContextMenu& menu = Tab(secret).page().context_menu();
  ui::MenuTarget link;
  link.link = pages_->Url("/title/child");
  menu.Build(link);
  ASSERT_TRUE(menu.Activate("在新窗口中打开链接"));
  ASSERT_EQ(windows_->windows().size(), 4u);
  ui::MainWindow& child = *windows_->windows()[3];
  EXPECT_TRUE(child.IsPrivate());
  EXPECT_TRUE(Shows(child, "child"));
}

TEST_F(WindowsTest, RestoreBringsBackEveryNormalWindowAndNoPrivateOne) {
  const core::AppSettings settings(core::Config::FromEnvironment());
  ASSERT_TRUE(settings.SetRestoreLastSession(true).ok());
  ui::MainWindow& first = Start(pages_->Url("/title/One"));
  ASSERT_TRUE(Shows(first, "One"));
  ASSERT_TRUE(WaitForTabTitle(first.tab_strip().OpenTab(pages_->Url("/title/Two")), "Two"));
  ui::MainWindow& second = OpenWindow(false, pages_->Url("/title/Three"));
  ASSERT_TRUE(Shows(second, "Three"));
  ui::MainWindow& secret = OpenWindow(true, pages_->Url("/title/Secret"));
  ASSERT_TRUE(Shows(secret, "Secret"));
  // "退出" closes every window; each normal one is kept.
  first.activate_action("win.quit");
  ASSERT_TRUE(RunUntil([&] { return emptied_; }));

  ui::MainWindow& again = Start("");
  ASSERT_EQ(windows_->windows().size(), 2u);
  ASSERT_EQ(again.tab_strip().BrowsingTabCount(), 2);
  EXPECT_TRUE(WaitForTabTitle(again.tab_strip().TabAt(0), "One"));
  EXPECT_TRUE(WaitForTabTitle(again.tab_strip().TabAt(1), "Two"));
  ui::MainWindow& restored = *windows_->windows()[1];
  EXPECT_FALSE(restored.IsPrivate());
  EXPECT_TRUE(Shows(restored, "Three"));
  EXPECT_EQ(pages_->Hits("/title/Secret"), 1);

  // A window closed while another stays open leaves the list.
  ASSERT_TRUE(Close(restored));
  ASSERT_TRUE(Close(again));
  ui::MainWindow& third = Start("");
  EXPECT_EQ(windows_->windows().size(), 1u);
  EXPECT_EQ(third.tab_strip().BrowsingTabCount(), 2);
}

}  // namespace
}  // namespace nuve::test
