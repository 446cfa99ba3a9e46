// The tabs as a person handles them: closed tabs that come back with their
// back lists, tabs dragged to a new place, the header's own menu, the
// speaker of a tab that plays sound, a video on the whole screen, and the
// keys that open the windows of the browser.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/session/closed_tabs.h"
#include "ui/favourites/add_favourite_window.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

class TabsTest : public MainWindowTest {
 protected:
  std::string Url(const std::string& title) { return pages_->Url("/title/" + title); }
  // Loads the pages titled `titles` one after the other into `tab`.
  void Visit(ui::BrowserTab& tab, const std::vector<std::string>& titles) {
    for (const std::string& title : titles) {
      tab.page().Load(Url(title));
      ASSERT_TRUE(WaitForTabTitle(tab, title)) << tab.page().Title();
    }
    // The back list is recorded once the last load has ended.
    ASSERT_TRUE(RunUntil([&] { return !tab.page().IsLoading(); }));
  }
  std::vector<std::string> Titles(ui::TabStrip& strip) {
    std::vector<std::string> titles;
    for (ui::BrowserTab* tab : strip.Tabs()) titles.push_back(tab->page().Title());
    return titles;
  }
  // The back item's title of `tab` ("" when it has none).
  static std::string BackTitle(ui::BrowserTab& tab) {
    WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(tab.page().view());
    WebKitBackForwardListItem* back = webkit_back_forward_list_get_back_item(list);
    const char* title = back != nullptr ? webkit_back_forward_list_item_get_title(back) : nullptr;
    return title != nullptr ? title : "";
  }
  bool Enabled(ui::TabStrip& strip, const char* action) {
    return strip.header_actions()->lookup_action(action)->get_enabled();
  }
  // Runs a header menu action as its item would, and what it leaves for later.
  void RunMenuAction(ui::TabStrip& strip, const char* action) {
    strip.header_actions()->activate_action(action);
    RunPending();
  }
  static std::string Label(const Glib::RefPtr<Gio::MenuModel>& menu, int item) {
    const Glib::VariantBase label =
        menu->get_item_attribute(item, Gio::MenuModel::Attribute::LABEL, Glib::VARIANT_TYPE_STRING);
    return Glib::VariantBase::cast_dynamic<Glib::Variant<Glib::ustring>>(label).get();
  }
  static bool NewTabTabIsLast(ui::TabStrip& strip) {
    Gtk::Notebook& notebook = strip.notebook();
    return notebook.get_n_pages() == strip.BrowsingTabCount() + 1 &&
           notebook.get_nth_page(notebook.get_n_pages() - 1) != &strip.TabAt(strip.BrowsingTabCount() - 1).widget();
  }
};

TEST_F(TabsTest, ClosedTabsComeBackLatestFirstAtTheirPlaceWithTheirBackLists) {
  ui::MainWindow& window = Open(Url("Start"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "Start"));
  for (const char* name : {"A", "B", "C"}) {
    ui::BrowserTab& tab = strip.OpenTab(Url(std::string(name) + "1"));
    ASSERT_TRUE(WaitForTabTitle(tab, std::string(name) + "1"));
    Visit(tab, {std::string(name) + "2"});
  }
  ASSERT_EQ(Titles(strip), (std::vector<std::string>{"Start", "A2", "B2", "C2"}));
  EXPECT_EQ(strip.ReopenClosedTab(), nullptr) << "nothing closed yet";

  // B, then C, then A: the places they leave behind shift as they go.
  strip.CloseTab(strip.TabAt(2));
  strip.CloseTab(strip.TabAt(2));
  strip.CloseTab(strip.TabAt(1));
  ASSERT_EQ(strip.BrowsingTabCount(), 1);
  ASSERT_EQ(strip.closed_tabs().size(), 3u);
  EXPECT_EQ(strip.closed_tabs().tabs().front().tab.title, "A2");
  // The first tab is never closed, so it never joins the list.
  strip.CloseTab(strip.FirstTab());
  EXPECT_EQ(strip.closed_tabs().size(), 3u);

  ui::BrowserTab* a = strip.ReopenClosedTab();
  ASSERT_NE(a, nullptr);
  ASSERT_TRUE(WaitForTabTitle(*a, "A2"));
  EXPECT_EQ(&strip.CurrentTab(), a) << "a reopened tab is current";
  ui::BrowserTab* c = strip.ReopenClosedTab();
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(WaitForTabTitle(*c, "C2"));
  ui::BrowserTab* b = strip.ReopenClosedTab();
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(WaitForTabTitle(*b, "B2"));
  EXPECT_EQ(Titles(strip), (std::vector<std::string>{"Start", "A2", "B2", "C2"})) << "each back at its place";
  EXPECT_TRUE(NewTabTabIsLast(strip));
  EXPECT_TRUE(strip.closed_tabs().empty());
  EXPECT_EQ(strip.ReopenClosedTab(), nullptr);

  // Each came back with its back list, and going back loads the old page.
  for (ui::BrowserTab* tab : {a, b, c}) {
    ASSERT_TRUE(RunUntil([&] { return tab->page().CanGoBack(); })) << tab->page().Title();
  }
  EXPECT_EQ(BackTitle(*b), "B1");
  const int hits = pages_->Hits("/title/A1");
  a->page().GoBack();
  ASSERT_TRUE(WaitForTabTitle(*a, "A1"));
  EXPECT_TRUE(a->page().CanGoForward());
  EXPECT_GE(pages_->Hits("/title/A1"), hits);
}

TEST_F(TabsTest, AThousandTabsOpenedAndClosedLeaveTwentyToReopen) {
  ui::MainWindow& window = Open(Url("Start"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "Start"));
  // A page opens tabs and closes them again, fifty at a time.
  ui::BrowserTab& opener = strip.FirstTab();
  for (int batch = 0; batch < 20; ++batch) {
    RunScript(opener.page().view(),
              "window.opened = [];"
              "for (var i = 0; i < 50; ++i) window.opened.push(window.open('about:blank#" +
                  std::to_string(batch) + "-' + i));");
    ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 51; }, 30000)) << strip.BrowsingTabCount();
    RunScript(opener.page().view(), "window.opened.forEach(function (w) { w.close(); });");
    ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 1; }, 30000)) << strip.BrowsingTabCount();
    ASSERT_LE(strip.closed_tabs().size(), core::kMaxClosedTabs);
  }
  ASSERT_EQ(strip.closed_tabs().size(), core::kMaxClosedTabs);
  // The latest first: the last batch's tabs, closed from its first to its last.
  EXPECT_EQ(strip.closed_tabs().tabs().front().tab.uri, "about:blank#19-49");
  EXPECT_EQ(strip.closed_tabs().tabs().back().tab.uri, "about:blank#19-30");
  for (size_t i = 0; i < core::kMaxClosedTabs; ++i) ASSERT_NE(strip.ReopenClosedTab(), nullptr);
  EXPECT_EQ(strip.ReopenClosedTab(), nullptr);
  EXPECT_EQ(strip.BrowsingTabCount(), 1 + static_cast<int>(core::kMaxClosedTabs));
}

TEST_F(TabsTest, TabsMoveToANewPlaceAndTheNewTabTabStaysLast) {
  ui::MainWindow& window = Open(Url("One"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "One"));
  ui::BrowserTab& two = strip.OpenTab(Url("Two"));
  ui::BrowserTab& three = strip.OpenTab(Url("Three"));
  ASSERT_TRUE(WaitForTabTitle(two, "Two"));
  ASSERT_TRUE(WaitForTabTitle(three, "Three"));
  ASSERT_TRUE(WaitUntilShown(three.header()));

  // A real drag: the third header, pressed, pulled to the left edge of the
  // first one and let go there.
  int from_x = 0;
  int from_y = 0;
  int to_x = 0;
  int to_y = 0;
  ASSERT_TRUE(ScreenCentre(three.header(), from_x, from_y));
  ASSERT_TRUE(ScreenPoint(strip.FirstTab().header(), 2, strip.FirstTab().header().get_height() / 2.0, to_x, to_y));
  ASSERT_TRUE(XDoTool("mousemove " + std::to_string(from_x) + " " + std::to_string(from_y) + " mousedown 1"));
  for (int step = 1; step <= 10; ++step) {
    const int x = from_x + (to_x - 20 - from_x) * step / 10;
    ASSERT_TRUE(XDoTool("mousemove " + std::to_string(x) + " " + std::to_string(to_y) + " sleep 0.03"));
    RunPending();
  }
  ASSERT_TRUE(XDoTool("mouseup 1"));
  EXPECT_TRUE(RunUntil([&] { return strip.IndexOf(three) == 0; }, 5000)) << strip.IndexOf(three);
  EXPECT_EQ(Titles(strip), (std::vector<std::string>{"Three", "One", "Two"}));
  EXPECT_TRUE(NewTabTabIsLast(strip));

  // Where the first tab stands is the one never closed.
  strip.CloseTab(three);
  EXPECT_EQ(strip.BrowsingTabCount(), 3);
  EXPECT_FALSE(three.header().close_button().get_visible()) << "no close button on the first tab";

  // Through the strip: clamped to the browsing tabs, never past the new-tab tab.
  strip.MoveTab(three, 99);
  EXPECT_EQ(Titles(strip), (std::vector<std::string>{"One", "Two", "Three"}));
  EXPECT_TRUE(NewTabTabIsLast(strip));
  EXPECT_TRUE(three.header().close_button().get_visible()) << "current and no longer first";
  // A drop beyond the new-tab tab (the notebook allows it) puts that tab back.
  strip.notebook().reorder_child(two.widget(), strip.notebook().get_n_pages() - 1);
  EXPECT_EQ(Titles(strip), (std::vector<std::string>{"One", "Three", "Two"}));
  EXPECT_TRUE(NewTabTabIsLast(strip));
}

TEST_F(TabsTest, HeaderMenuActsOnTheTabItWasOpenedFor) {
  ui::MainWindow& window = Open(Url("One"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "One"));
  ASSERT_TRUE(WaitUntilShown(strip.FirstTab().header()));

  // A right click on the only tab: the menu, with what cannot act disabled.
  ASSERT_TRUE(PointerAtCentre(strip.FirstTab().header(), "click 3"));
  ASSERT_TRUE(RunUntil([&] { return strip.header_menu().get_visible(); }, 5000));
  std::vector<std::string> labels;
  auto model = strip.header_menu().get_menu_model();
  for (int s = 0; s < model->get_n_items(); ++s) {
    auto section = model->get_item_link(s, Gio::MenuModel::Link::SECTION);
    for (int i = 0; i < section->get_n_items(); ++i) {
      labels.push_back(Label(section, i));
    }
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"重新加载", "复制标签页", "静音标签页", "重新打开关闭的标签页",
                                              "关闭其他标签页", "关闭右侧标签页"}));
  EXPECT_FALSE(Enabled(strip, "reopen-closed"));
  EXPECT_FALSE(Enabled(strip, "close-others")) << "the first tab is never closed";
  EXPECT_FALSE(Enabled(strip, "close-right"));
  const int hits = pages_->Hits("/title/One");
  RunMenuAction(strip, "reload");
  EXPECT_TRUE(RunUntil([&] { return pages_->Hits("/title/One") == hits + 1; }, 5000));
  strip.header_menu().popdown();
  ASSERT_TRUE(RunUntil([&] { return !strip.header_menu().get_visible(); }, 5000));

  // From the keyboard: Shift+F10 and the menu key on the headers open it too.
  for (const char* key : {"shift+F10", "Menu"}) {
    strip.notebook().grab_focus();
    ASSERT_TRUE(RunUntil([&] { return strip.notebook().is_focus(); }, 5000));
    ASSERT_TRUE(XDoTool(std::string("key ") + key));
    EXPECT_TRUE(RunUntil([&] { return strip.header_menu().get_visible(); }, 5000)) << key;
    strip.header_menu().popdown();
    ASSERT_TRUE(RunUntil([&] { return !strip.header_menu().get_visible(); }, 5000));
  }

  // 复制标签页: right after it, current, with its back list.
  Visit(strip.FirstTab(), {"One2"});
  strip.ShowHeaderMenu(strip.FirstTab(), 10, 10);
  RunMenuAction(strip, "duplicate");
  ASSERT_EQ(strip.BrowsingTabCount(), 2);
  ui::BrowserTab& copy = strip.TabAt(1);
  EXPECT_EQ(&strip.CurrentTab(), &copy);
  ASSERT_TRUE(WaitForTabTitle(copy, "One2"));
  EXPECT_TRUE(RunUntil([&] { return copy.page().CanGoBack(); }));
  EXPECT_EQ(BackTitle(copy), "One");

  ui::BrowserTab& three = strip.OpenTab(Url("Three"));
  ui::BrowserTab& four = strip.OpenTab(Url("Four"));
  ASSERT_TRUE(WaitForTabTitle(four, "Four"));
  ASSERT_TRUE(WaitForTabTitle(three, "Three"));
  // 静音标签页 on a tab that is not current; the menu then offers the undoing.
  strip.ShowHeaderMenu(three, 10, 10);
  RunMenuAction(strip, "mute");
  EXPECT_TRUE(three.page().IsMuted());
  EXPECT_FALSE(four.page().IsMuted());
  strip.ShowHeaderMenu(three, 10, 10);
  auto tab_items = strip.header_menu().get_menu_model()->get_item_link(0, Gio::MenuModel::Link::SECTION);
  EXPECT_EQ(Label(tab_items, 2), "取消静音标签页");
  strip.header_menu().popdown();

  // 关闭右侧标签页 from the second tab: three and four go, and come back.
  strip.ShowHeaderMenu(copy, 10, 10);
  EXPECT_TRUE(Enabled(strip, "close-right"));
  EXPECT_TRUE(Enabled(strip, "close-others"));
  RunMenuAction(strip, "close-right");
  EXPECT_EQ(Titles(strip), (std::vector<std::string>{"One2", "One2"}));
  EXPECT_EQ(&strip.CurrentTab(), &copy);
  strip.ShowHeaderMenu(copy, 10, 10);
  EXPECT_TRUE(Enabled(strip, "reopen-closed"));
  EXPECT_FALSE(Enabled(strip, "close-right"));
  RunMenuAction(strip, "reopen-closed");
  RunMenuAction(strip, "reopen-closed");
  ASSERT_EQ(strip.BrowsingTabCount(), 4);
  ASSERT_TRUE(WaitForTabTitle(strip.TabAt(3), "Four"));
  ASSERT_TRUE(WaitForTabTitle(strip.TabAt(2), "Three"));

  // 关闭其他标签页 from the last tab: all but it and the first tab.
  ui::BrowserTab& last = strip.TabAt(3);
  strip.ShowHeaderMenu(last, 10, 10);
  RunMenuAction(strip, "close-others");
  EXPECT_EQ(Titles(strip), (std::vector<std::string>{"One2", "Four"}));
  EXPECT_EQ(&strip.CurrentTab(), &last);
  // An action for a tab that went meanwhile does nothing.
  strip.ShowHeaderMenu(last, 10, 10);
  strip.header_actions()->activate_action("close-others");
  strip.CloseTab(last);
  RunPending();
  EXPECT_EQ(strip.BrowsingTabCount(), 1);
}

// A button over the page's top left corner that puts its video on the
// whole screen, as the video's own button does.
constexpr const char* kFullscreenButton =
    "var b = document.createElement('button'); b.textContent = 'full';"
    "b.style = 'position:fixed; left:0; top:0; width:120px; height:80px';"
    "b.onclick = function () { document.querySelector('video').requestFullscreen(); };"
    "document.body.appendChild(b);";

class MediaTabsTest : public TabsTest {
 protected:
  ui::BrowserTab& OpenPlaying(ui::MainWindow& window) {
    ui::BrowserTab& tab = window.tab_strip().FirstTab();
    EXPECT_TRUE(WaitForTabTitle(tab, "media"));
    // Looped, so the sound lasts as long as the test looks at it.
    RunScript(tab.page().view(),
              "var v = document.createElement('video'); v.loop = true; v.src = '/media/h264-aac.mp4';"
              "document.body.appendChild(v); v.play().then(function () { document.title = 'playing'; });");
    EXPECT_TRUE(WaitForTabTitle(tab, "playing"));
    return tab;
  }
  static std::string AccessibleName(Gtk::Widget& widget) { return widget.get_tooltip_text(); }
};

TEST_F(MediaTabsTest, ATabThatPlaysSoundShowsASpeakerThatMutesIt) {
  ui::MainWindow& window = Open(pages_->Url("/title/media"));
  ui::BrowserTab& tab = OpenPlaying(window);
  ui::TabHeader& header = tab.header();
  Gtk::Button& speaker = header.audio_button();
  ASSERT_TRUE(RunUntil([&] { return speaker.get_visible(); }, 10000)) << "the speaker shows while sound plays";
  EXPECT_EQ(speaker.get_icon_name(), "audio-volume-high-symbolic");
  EXPECT_EQ(AccessibleName(speaker), "静音标签页");

  ASSERT_TRUE(WaitUntilShown(speaker));
  ASSERT_TRUE(PointerAtCentre(speaker, "click 1"));
  ASSERT_TRUE(RunUntil([&] { return tab.page().IsMuted(); }, 5000));
  EXPECT_TRUE(RunUntil([&] { return speaker.get_icon_name() == "audio-volume-muted-symbolic"; }, 5000));
  EXPECT_EQ(AccessibleName(speaker), "取消静音标签页");
  EXPECT_EQ(window.tab_strip().CurrentIndex(), 0) << "the click reached the speaker, not the tab";

  // A muted tab keeps its crossed-out speaker even once the sound stops.
  RunScript(tab.page().view(), "document.querySelector('video').pause();");
  ASSERT_TRUE(RunUntil([&] { return !tab.page().IsPlayingAudio(); }, 5000));
  RunPending();
  EXPECT_TRUE(speaker.get_visible());
  LetDoubleClickTimePass();
  Click(speaker);
  ASSERT_TRUE(RunUntil([&] { return !tab.page().IsMuted(); }, 5000));
  EXPECT_TRUE(RunUntil([&] { return !speaker.get_visible(); }, 5000)) << "silent and not muted: no speaker";

  // Another tab's sound is its own.
  RunScript(tab.page().view(), "document.querySelector('video').play();");
  ASSERT_TRUE(RunUntil([&] { return speaker.get_visible(); }, 10000));
  ui::BrowserTab& other = window.tab_strip().OpenTab(pages_->Url("/title/quiet"));
  ASSERT_TRUE(WaitForTabTitle(other, "quiet"));
  EXPECT_FALSE(other.header().audio_button().get_visible());
  Click(speaker);
  EXPECT_TRUE(RunUntil([&] { return tab.page().IsMuted(); }, 5000));
  EXPECT_FALSE(other.page().IsMuted());
}

TEST_F(MediaTabsTest, AVideoOnTheWholeScreenGivesItBackOnEscape) {
  ui::MainWindow& window = Open(pages_->Url("/title/media"));
  ui::BrowserTab& tab = OpenPlaying(window);
  ui::BrowserTab& second = window.tab_strip().OpenTab(pages_->Url("/title/other"));
  ASSERT_TRUE(WaitForTabTitle(second, "other"));
  window.tab_strip().SelectTab(0);
  // What the video's own fullscreen button does, on a click of the user's.
  RunScript(tab.page().view(), kFullscreenButton);
  ASSERT_TRUE(WaitUntilShown(tab.widget()));
  ASSERT_TRUE(PointerAt(tab.widget(), 40, 40, "click 1"));
  ASSERT_TRUE(RunUntil([&] { return window.ShowsPageFullscreen(); }, 5000));
  EXPECT_TRUE(tab.page().IsFullscreen());
  EXPECT_FALSE(window.navigation_bar().get_visible());
  EXPECT_FALSE(window.status_bar().get_visible());
  EXPECT_FALSE(window.tab_strip().notebook().get_show_tabs());

  window.navigation_bar().FocusAddress();  // Escape works wherever the focus is
  ASSERT_TRUE(XDoTool("key Escape"));
  ASSERT_TRUE(RunUntil([&] { return !window.ShowsPageFullscreen(); }, 5000));
  EXPECT_FALSE(tab.page().IsFullscreen());
  EXPECT_TRUE(window.navigation_bar().get_visible());
  EXPECT_TRUE(window.tab_strip().notebook().get_show_tabs());

  // A fullscreen video whose tab is closed gives the screen back too.
  window.tab_strip().SelectTab(1);
  RunScript(second.page().view(), std::string("document.body.appendChild(document.createElement('video'));") +
                                      kFullscreenButton);
  ASSERT_TRUE(WaitUntilShown(second.widget()));
  ASSERT_TRUE(PointerAt(second.widget(), 40, 40, "click 1"));
  ASSERT_TRUE(RunUntil([&] { return window.ShowsPageFullscreen(); }, 5000));
  window.tab_strip().CloseTab(second);
  EXPECT_FALSE(window.ShowsPageFullscreen());
  EXPECT_TRUE(window.navigation_bar().get_visible());
}

class TabKeysTest : public TabsTest {
 protected:
  void ClickIntoPage() {
    Gtk::Widget& page = window_->tab_strip().CurrentTab().widget();
    ASSERT_TRUE(WaitUntilShown(page));
    ASSERT_TRUE(PointerAt(page, 300, 200, "click 1"));
    ASSERT_TRUE(RunUntil(
        [&] {
          GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window_->gobj()));
          return focus == GTK_WIDGET(window_->tab_strip().CurrentTab().page().view());
        },
        5000));
  }
  bool KeyUntil(const std::string& keys, const std::function<bool()>& done) {
    return XDoTool("key " + keys) && RunUntil(done, 5000);
  }
  // Pages in the history that match `text`.
  size_t HistoryMatches(const std::string& text) {
    auto found = std::make_shared<std::atomic<int>>(-1);
    context_->history().Search(text, 10, [found](core::HistoryStore::Entries entries) {
      *found = static_cast<int>(entries.size());
    });
    EXPECT_TRUE(RunUntil([&] { return *found >= 0; }));
    return static_cast<size_t>(std::max(0, found->load()));
  }
};

TEST_F(TabKeysTest, KeysReachTheirWindowsWhileAPageThatSwallowsKeysHasTheFocus) {
  SetEnv("NUVE_PORTAL_A", "127.0.0.1:" + std::to_string(pages_->port()) + "/title/portal");
  ui::MainWindow& window = Open(pages_->Url("/swallow"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "swallow"));

  // Ctrl+D: the add window, filled with the page's address and title.
  ClickIntoPage();
  ASSERT_TRUE(KeyUntil("ctrl+d", [&] { return ui_host_.modals.size() == 1; })) << "Ctrl+D";
  EXPECT_NE(dynamic_cast<ui::AddFavouriteWindow*>(ui_host_.modals.back().get()), nullptr);
  ui_host_.modals.back()->close();

  // Ctrl+J: the downloads list.
  ClickIntoPage();
  ASSERT_TRUE(KeyUntil("ctrl+j", [&] { return window.downloads_popover().get_visible(); })) << "Ctrl+J";
  window.downloads_popover().popdown();

  // Alt+Home: the home page (portal A, none being saved).
  ClickIntoPage();
  ASSERT_TRUE(KeyUntil("alt+Home", [&] { return strip.CurrentTab().page().Title() == "portal"; }))
      << "Alt+Home: " << strip.CurrentTab().page().Uri();

  // Ctrl+Shift+T: the tab closed last.
  ui::BrowserTab& second = strip.OpenTab(pages_->Url("/swallow"));
  ASSERT_TRUE(WaitForTabTitle(second, "swallow"));
  strip.CloseTab(second);
  ClickIntoPage();
  ASSERT_TRUE(KeyUntil("ctrl+shift+t", [&] { return strip.BrowsingTabCount() == 2; })) << "Ctrl+Shift+T";
  ASSERT_TRUE(WaitForTabTitle(strip.CurrentTab(), "swallow"));
  strip.CloseTab(strip.CurrentTab());

  // Ctrl+Shift+Delete: the question first; "取消" keeps everything.
  ASSERT_TRUE(RunUntil([&] { return HistoryMatches("swallow") > 0; }));
  ui_host_.confirm_answer = false;
  ClickIntoPage();
  ASSERT_TRUE(KeyUntil("ctrl+shift+Delete", [&] { return !ui_host_.messages.empty(); })) << "Ctrl+Shift+Delete";
  EXPECT_NE(ui_host_.messages.back().find("是否继续"), std::string::npos) << ui_host_.messages.back();
  EXPECT_GT(HistoryMatches("swallow"), 0u);
  EXPECT_EQ(strip.closed_tabs().size(), 1u);
  // "确定" clears the data, and the closed tabs' back lists with it.
  ui_host_.confirm_answer = true;
  ClickIntoPage();
  ASSERT_TRUE(KeyUntil("ctrl+shift+Delete", [&] { return ui_host_.messages.back() == "浏览数据已清除。"; }))
      << ui_host_.messages.back();
  EXPECT_EQ(HistoryMatches("swallow"), 0u);
  EXPECT_TRUE(strip.closed_tabs().empty());
  EXPECT_FALSE(window.lookup_action("reopen-closed-tab")->get_enabled()) << "nothing left to reopen";
  ui::BrowserTab& third = strip.OpenTab(pages_->Url("/title/B"));
  ASSERT_TRUE(WaitForTabTitle(third, "B"));
  strip.CloseTab(third);
  EXPECT_TRUE(window.lookup_action("reopen-closed-tab")->get_enabled());
}

TEST_F(TabsTest, StatusTextGoesWhenThePointerLeavesALinkOrTheTabLoadsAnotherPage) {
  ui::MainWindow& window = Open(pages_->Url("/links"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "links"));
  Gtk::Widget& page = tab.widget();
  ASSERT_TRUE(WaitUntilShown(page));
  auto status_is = [&](const std::string& text) {
    return [&window, text] { return window.status_bar().get_text().raw() == text; };
  };
  // The link is the first thing on the page, inside the body's margin.
  ASSERT_TRUE(PointerAt(page, 14, 16, ""));
  ASSERT_TRUE(RunUntil(status_is(pages_->Url("/title/child")), 5000)) << window.status_bar().get_text();
  // Straight off the link and out of the page, onto the address box.
  ASSERT_TRUE(PointerAtCentre(window.navigation_bar(), ""));
  EXPECT_TRUE(RunUntil(status_is(""), 5000)) << window.status_bar().get_text();

  ASSERT_TRUE(PointerAt(page, 14, 16, ""));
  ASSERT_TRUE(RunUntil(status_is(pages_->Url("/title/child")), 5000));
  // The pointer stays where the link was while another page loads.
  pages_->set_slow_ms(1500);
  tab.page().Load(pages_->Url("/slow"));
  EXPECT_TRUE(RunUntil(status_is(""), 1000)) << window.status_bar().get_text();
}

}  // namespace
}  // namespace nuve::test
