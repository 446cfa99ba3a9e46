// The window's keys while a page has the focus, even a page that swallows
// every key, and what the pointer does to links and tabs.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "ui/history/history_window.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

class KeyboardTest : public MainWindowTest {
 protected:
  // Clicks into the current tab's page, as a person does before typing,
  // and waits until the page has the focus.
  void ClickIntoPage() {
    Gtk::Widget& page = window_->tab_strip().CurrentTab().widget();
    ASSERT_TRUE(WaitUntilShown(page));
    ASSERT_TRUE(PointerAt(page, 300, 200, "click 1"));
    ASSERT_TRUE(RunUntil([&] { return PageHasFocus(); }, 5000)) << "the click reached the page";
  }
  // Presses `keys`; the caller waits for what they do.
  void Key(const std::string& keys) { ASSERT_TRUE(XDoTool("key " + keys)); }
  // Presses `keys` and waits until `done` holds.
  bool KeyUntil(const std::string& keys, const std::function<bool()>& done) {
    return XDoTool("key " + keys) && RunUntil(done, 3000);
  }
  bool PageHasFocus() {
    GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window_->gobj()));
    return focus != nullptr && focus == GTK_WIDGET(window_->tab_strip().CurrentTab().page().view());
  }
};

TEST_F(KeyboardTest, TabKeysWorkWhileAPageThatSwallowsKeysHasTheFocus) {
  ui::MainWindow& window = Open(pages_->Url("/swallow"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTitle("swallow - NUVE浏览器M1"));
  ClickIntoPage();
  Key("ctrl+t");
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 2; }, 3000)) << "Ctrl+T";
  EXPECT_EQ(strip.CurrentIndex(), 1);
  strip.CurrentTab().page().Load(pages_->Url("/swallow"));
  ASSERT_TRUE(WaitForTabTitle(strip.CurrentTab(), "swallow"));
  ClickIntoPage();
  EXPECT_TRUE(KeyUntil("ctrl+1", [&] { return strip.CurrentIndex() == 0; })) << "Ctrl+1";
  EXPECT_TRUE(RunUntil([&] { return PageHasFocus(); }, 3000));
  EXPECT_TRUE(KeyUntil("ctrl+2", [&] { return strip.CurrentIndex() == 1; })) << "Ctrl+2";
  EXPECT_TRUE(KeyUntil("ctrl+Tab", [&] { return strip.CurrentIndex() == 0; })) << "Ctrl+Tab wraps around";
  EXPECT_TRUE(KeyUntil("ctrl+shift+Tab", [&] { return strip.CurrentIndex() == 1; })) << "Ctrl+Shift+Tab";
  EXPECT_TRUE(KeyUntil("ctrl+w", [&] { return strip.BrowsingTabCount() == 1; })) << "Ctrl+W";
  ClickIntoPage();
  Key("ctrl+w");
  // Ctrl+T after it proves that Ctrl+W arrived: the keys come in order.
  ASSERT_TRUE(KeyUntil("ctrl+t", [&] { return strip.notebook().get_n_pages() > 2; })) << "Ctrl+T after Ctrl+W";
  EXPECT_EQ(strip.BrowsingTabCount(), 2) << "the first tab stays, as with the close button";
  Key("ctrl+w");
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 1; }, 3000));

  ClickIntoPage();
  EXPECT_TRUE(KeyUntil("ctrl+l", [&] { return window.navigation_bar().AddressHasFocus(); })) << "Ctrl+L";
  ClickIntoPage();
  EXPECT_TRUE(KeyUntil("F6", [&] { return window.navigation_bar().AddressHasFocus(); })) << "F6";

  ClickIntoPage();
  const int loads = pages_->Hits("/swallow");
  Key("F5");
  EXPECT_TRUE(RunUntil([&] { return pages_->Hits("/swallow") == loads + 1; }, 3000)) << "F5";
  ClickIntoPage();
  Key("ctrl+r");
  EXPECT_TRUE(RunUntil([&] { return pages_->Hits("/swallow") == loads + 2; }, 3000)) << "Ctrl+R";

  ui::BrowserTab& tab = strip.CurrentTab();
  ClickIntoPage();
  auto zoom_is = [&](double level) {
    return [&tab, level] { return std::abs(tab.page().ZoomLevel() - level) < 1e-9; };
  };
  EXPECT_TRUE(KeyUntil("ctrl+plus", zoom_is(1.1))) << "Ctrl+plus: " << tab.page().ZoomLevel();
  EXPECT_TRUE(tab.ShowsZoomLevel());
  EXPECT_TRUE(KeyUntil("ctrl+minus", zoom_is(1.0)));
  EXPECT_TRUE(KeyUntil("ctrl+minus", zoom_is(0.9))) << "Ctrl+minus: " << tab.page().ZoomLevel();
  EXPECT_TRUE(KeyUntil("ctrl+0", zoom_is(1.0))) << "Ctrl+0: " << tab.page().ZoomLevel();
  EXPECT_FALSE(tab.ShowsZoomLevel()) << "100% is not shown";

  ASSERT_TRUE(KeyUntil("ctrl+h", [&] { return !ui_host_.modals.empty(); })) << "Ctrl+H";
  ASSERT_EQ(ui_host_.modals.size(), 1u);
  EXPECT_NE(dynamic_cast<ui::HistoryWindow*>(ui_host_.modals[0].get()), nullptr);
}

TEST_F(KeyboardTest, HistoryFindAndStopKeysWorkFromAnOrdinaryPage) {
  ui::MainWindow& window = Open(pages_->Url("/title/A"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "A"));
  tab.page().Load(pages_->Url("/find"));
  ASSERT_TRUE(WaitForTabTitle(tab, "find"));
  ClickIntoPage();
  Key("alt+Left");
  EXPECT_TRUE(WaitForTabTitle(tab, "A", 3000)) << "Alt+Left";
  ClickIntoPage();
  Key("alt+Right");
  EXPECT_TRUE(WaitForTabTitle(tab, "find", 3000)) << "Alt+Right";

  ClickIntoPage();
  ui::FindBar& find = tab.find_bar();
  auto typing_into_find = [&] {
    GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window.gobj()));
    GtkWidget* entry = GTK_WIDGET(find.entry().gobj());
    return find.get_visible() && focus != nullptr && (focus == entry || gtk_widget_is_ancestor(focus, entry));
  };
  ASSERT_TRUE(KeyUntil("ctrl+f", typing_into_find)) << "Ctrl+F";
  ASSERT_TRUE(XDoTool("type --delay 40 apple"));
  EXPECT_TRUE(RunUntil([&] { return find.ResultText() == "3 个匹配"; }, 3000)) << find.ResultText();
  Key("Return");
  Key("shift+Return");
  find.entry().set_text("durian");
  EXPECT_TRUE(RunUntil([&] { return find.ResultText() == "无匹配"; }, 3000)) << find.ResultText();
  EXPECT_TRUE(KeyUntil("Escape", [&] { return !find.get_visible(); })) << "Escape closes the find bar";
  EXPECT_TRUE(RunUntil([&] { return PageHasFocus(); }, 3000)) << "and the page has the focus again";

  pages_->set_slow_ms(5000);
  tab.page().Load(pages_->Url("/slow"));
  ASSERT_TRUE(RunUntil([&] { return tab.page().IsLoading() && pages_->SlowArrivals() >= 1; }));
  EXPECT_TRUE(window.navigation_bar().stop_button().get_sensitive()) << "stop is offered while loading";
  ClickIntoPage();
  Key("Escape");
  EXPECT_TRUE(RunUntil([&] { return !tab.page().IsLoading(); }, 2000)) << "Escape stops";
  EXPECT_FALSE(window.navigation_bar().stop_button().get_sensitive());
}

TEST_F(KeyboardTest, MiddleClicksOpenLinksInTheBackgroundAndCloseTabs) {
  ui::MainWindow& window = Open(pages_->Url("/links"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTitle("links - NUVE浏览器M1"));
  ASSERT_TRUE(WaitUntilShown(strip.FirstTab().widget()));
  ASSERT_TRUE(PointerAt(strip.FirstTab().widget(), 20, 16, "click 2"));
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 2; }, 5000));
  EXPECT_EQ(strip.CurrentIndex(), 0) << "the link opens behind";
  EXPECT_TRUE(WaitForTabTitle(strip.TabAt(1), "child"));
  EXPECT_EQ(strip.FirstTab().page().Title(), "links") << "the page itself stays";
  // A middle click on the new tab's header closes it.
  ASSERT_TRUE(PointerAtCentre(strip.TabAt(1).header(), "click 2"));
  EXPECT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 1; }, 3000));
  // A middle click on the first tab leaves it, as its close rule says. A
  // link opened by a middle click after it proves that the click arrived.
  ASSERT_TRUE(PointerAtCentre(strip.FirstTab().header(), "click 2"));
  ASSERT_TRUE(PointerAt(strip.FirstTab().widget(), 20, 16, "click 2"));
  ASSERT_TRUE(RunUntil([&] { return strip.notebook().get_n_pages() > 2; }, 5000));
  EXPECT_EQ(strip.BrowsingTabCount(), 2);
  EXPECT_EQ(strip.FirstTab().page().Title(), "links");
}

TEST_F(KeyboardTest, ALinkThatAsksForANewWindowLeavesTheAddressBeingTyped) {
  ui::MainWindow& window = Open(pages_->Url("/blank-link"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTitle("links - NUVE浏览器M1"));
  window.navigation_bar().FocusAddress();
  window.navigation_bar().SetAddress("half typ");
  RunScript(strip.FirstTab().page().view(), "document.getElementById('l').click()");
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 2; }));
  ASSERT_TRUE(WaitForTabTitle(strip.TabAt(1), "child"));
  EXPECT_EQ(strip.CurrentIndex(), 1);
  EXPECT_TRUE(window.navigation_bar().AddressHasFocus());
  EXPECT_EQ(window.navigation_bar().Address(), "half typ");
}

}  // namespace
}  // namespace nuve::test
