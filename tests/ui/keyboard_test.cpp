// The window's keys while a page has the focus, even a page that swallows
// every key, and what the pointer does to links and tabs.
#include <gtest/gtest.h>

#include "ui/history/history_window.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

class KeyboardTest : public MainWindowTest {
 protected:
  // Clicks into the current tab's page, as a person does before typing.
  void ClickIntoPage() {
    int x = 0;
    int y = 0;
    ASSERT_TRUE(ScreenPoint(window_->tab_strip().CurrentTab().page(), 300, 200, x, y));
    ASSERT_TRUE(XDoTool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"));
    RunFor(300);
  }
  void Key(const std::string& keys) {
    ASSERT_TRUE(XDoTool("key " + keys));
    RunFor(300);
  }
  bool PageHasFocus() {
    GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window_->gobj()));
    return focus != nullptr && focus == GTK_WIDGET(window_->tab_strip().CurrentTab().view());
  }
};

TEST_F(KeyboardTest, TabKeysWorkWhileAPageThatSwallowsKeysHasTheFocus) {
  ui::MainWindow& window = Open(pages_->Url("/swallow"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTitle("swallow - NUVE浏览器M1"));
  RunFor(300);
  ClickIntoPage();
  ASSERT_TRUE(PageHasFocus());
  Key("ctrl+t");
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 2; }, 3000)) << "Ctrl+T";
  EXPECT_EQ(strip.CurrentIndex(), 1);
  strip.CurrentTab().Load(pages_->Url("/swallow"));
  ASSERT_TRUE(WaitForTabTitle(strip.CurrentTab(), "swallow"));
  ClickIntoPage();
  Key("ctrl+1");
  EXPECT_EQ(strip.CurrentIndex(), 0) << "Ctrl+1";
  EXPECT_TRUE(PageHasFocus());
  Key("ctrl+2");
  EXPECT_EQ(strip.CurrentIndex(), 1) << "Ctrl+2";
  Key("ctrl+Tab");
  EXPECT_EQ(strip.CurrentIndex(), 0) << "Ctrl+Tab wraps around";
  Key("ctrl+shift+Tab");
  EXPECT_EQ(strip.CurrentIndex(), 1) << "Ctrl+Shift+Tab";
  Key("ctrl+w");
  EXPECT_EQ(strip.BrowsingTabCount(), 1) << "Ctrl+W";
  ClickIntoPage();
  Key("ctrl+w");
  EXPECT_EQ(strip.BrowsingTabCount(), 1) << "the first tab stays, as with the close button";

  ClickIntoPage();
  Key("ctrl+l");
  EXPECT_TRUE(window.navigation_bar().AddressHasFocus()) << "Ctrl+L";
  ClickIntoPage();
  Key("F6");
  EXPECT_TRUE(window.navigation_bar().AddressHasFocus()) << "F6";

  ClickIntoPage();
  const int loads = pages_->Hits("/swallow");
  Key("F5");
  EXPECT_TRUE(RunUntil([&] { return pages_->Hits("/swallow") == loads + 1; }, 3000)) << "F5";
  ClickIntoPage();
  Key("ctrl+r");
  EXPECT_TRUE(RunUntil([&] { return pages_->Hits("/swallow") == loads + 2; }, 3000)) << "Ctrl+R";

  ui::BrowserTab& tab = strip.CurrentTab();
  ClickIntoPage();
  Key("ctrl+plus");
  EXPECT_DOUBLE_EQ(tab.ZoomLevel(), 1.1) << "Ctrl+plus";
  EXPECT_TRUE(tab.ShowsZoomLevel());
  Key("ctrl+minus");
  Key("ctrl+minus");
  EXPECT_DOUBLE_EQ(tab.ZoomLevel(), 0.9) << "Ctrl+minus";
  Key("ctrl+0");
  EXPECT_DOUBLE_EQ(tab.ZoomLevel(), 1.0) << "Ctrl+0";
  EXPECT_FALSE(tab.ShowsZoomLevel()) << "100% is not shown";

  Key("ctrl+h");
  ASSERT_EQ(ui_host_.modals.size(), 1u) << "Ctrl+H";
  EXPECT_NE(dynamic_cast<ui::HistoryWindow*>(ui_host_.modals[0].get()), nullptr);
}

TEST_F(KeyboardTest, HistoryFindAndStopKeysWorkFromAnOrdinaryPage) {
  ui::MainWindow& window = Open(pages_->Url("/title/A"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "A"));
  tab.Load(pages_->Url("/find"));
  ASSERT_TRUE(WaitForTabTitle(tab, "find"));
  RunFor(300);
  ClickIntoPage();
  Key("alt+Left");
  EXPECT_TRUE(WaitForTabTitle(tab, "A", 3000)) << "Alt+Left";
  ClickIntoPage();
  Key("alt+Right");
  EXPECT_TRUE(WaitForTabTitle(tab, "find", 3000)) << "Alt+Right";

  ClickIntoPage();
  Key("ctrl+f");
  ui::FindBar& find = tab.find_bar();
  ASSERT_TRUE(find.get_visible()) << "Ctrl+F";
  ASSERT_TRUE(XDoTool("type --delay 40 apple"));
  EXPECT_TRUE(RunUntil([&] { return find.ResultText() == "3 个匹配"; }, 3000)) << find.ResultText();
  Key("Return");
  Key("shift+Return");
  find.entry().set_text("durian");
  EXPECT_TRUE(RunUntil([&] { return find.ResultText() == "无匹配"; }, 3000)) << find.ResultText();
  Key("Escape");
  EXPECT_FALSE(find.get_visible()) << "Escape closes the find bar";
  EXPECT_TRUE(PageHasFocus()) << "and the page has the focus again";

  pages_->set_slow_ms(5000);
  tab.Load(pages_->Url("/slow"));
  ASSERT_TRUE(RunUntil([&] { return tab.IsLoading(); }));
  EXPECT_TRUE(window.navigation_bar().stop_button().get_sensitive()) << "stop is offered while loading";
  ClickIntoPage();
  Key("Escape");
  EXPECT_TRUE(RunUntil([&] { return !tab.IsLoading(); }, 2000)) << "Escape stops";
  EXPECT_FALSE(window.navigation_bar().stop_button().get_sensitive());
}

TEST_F(KeyboardTest, MiddleClicksOpenLinksInTheBackgroundAndCloseTabs) {
  ui::MainWindow& window = Open(pages_->Url("/links"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTitle("links - NUVE浏览器M1"));
  RunFor(300);
  int x = 0;
  int y = 0;
  ASSERT_TRUE(ScreenPoint(strip.FirstTab().page(), 20, 16, x, y));
  ASSERT_TRUE(XDoTool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 2"));
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 2; }, 5000));
  EXPECT_EQ(strip.CurrentIndex(), 0) << "the link opens behind";
  EXPECT_TRUE(WaitForTabTitle(strip.TabAt(1), "child"));
  EXPECT_EQ(strip.FirstTab().Title(), "links") << "the page itself stays";
  // A middle click on the new tab's header closes it.
  ASSERT_TRUE(ScreenCentre(strip.TabAt(1).header(), x, y));
  ASSERT_TRUE(XDoTool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 2"));
  EXPECT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 1; }, 3000));
  // A middle click on the first tab leaves it, as its close rule says.
  ASSERT_TRUE(ScreenCentre(strip.FirstTab().header(), x, y));
  ASSERT_TRUE(XDoTool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 2"));
  RunFor(400);
  EXPECT_EQ(strip.BrowsingTabCount(), 1);
}

TEST_F(KeyboardTest, ALinkThatAsksForANewWindowLeavesTheAddressBeingTyped) {
  ui::MainWindow& window = Open(pages_->Url("/blank-link"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTitle("links - NUVE浏览器M1"));
  RunFor(300);
  window.navigation_bar().FocusAddress();
  window.navigation_bar().SetAddress("half typ");
  RunScript(strip.FirstTab().view(), "document.getElementById('l').click()");
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 2; }));
  ASSERT_TRUE(WaitForTabTitle(strip.TabAt(1), "child"));
  EXPECT_EQ(strip.CurrentIndex(), 1);
  EXPECT_TRUE(window.navigation_bar().AddressHasFocus());
  EXPECT_EQ(window.navigation_bar().Address(), "half typ");
}

}  // namespace
}  // namespace nuve::test
