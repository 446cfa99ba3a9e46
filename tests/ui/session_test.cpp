// The tabs of the last run and the browsing settings, across restarts.
#include <gtest/gtest.h>

#include "core/settings/app_settings.h"
#include "ui/settings/browsing_settings_section.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

class SessionTest : public MainWindowTest {
 protected:
  // Ends this run as closing the window does, and starts the next one.
  ui::MainWindow& Restart(const core::StartRequest& start = {}) {
    window_.reset();
    context_.reset();
    RunPending();
    return Open(start);
  }
};

TEST_F(SessionTest, RestoreReopensThreeTabsInOrderWithTheirBackAndForwardLists) {
  const core::AppSettings settings(core::Config::FromEnvironment());
  EXPECT_FALSE(settings.RestoreLastSession()) << "off unless the user turns it on";
  ui::MainWindow& first = Open(pages_->Url("/title/One"));
  ui::TabStrip& strip = first.tab_strip();
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "One"));
  strip.FirstTab().page().Load(pages_->Url("/title/Two"));
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "Two"));
  ASSERT_TRUE(WaitForTabTitle(strip.OpenTab(pages_->Url("/title/Three")), "Three"));
  ASSERT_TRUE(WaitForTabTitle(strip.OpenTab(pages_->Url("/title/Four")), "Four"));
  strip.SelectTab(1);
  ASSERT_TRUE(settings.SetRestoreLastSession(true).ok());

  ui::MainWindow& second = Restart();
  ui::TabStrip& again = second.tab_strip();
  ASSERT_EQ(again.BrowsingTabCount(), 3);
  ASSERT_TRUE(WaitForTabTitle(again.TabAt(0), "Two"));
  ASSERT_TRUE(WaitForTabTitle(again.TabAt(1), "Three"));
  ASSERT_TRUE(WaitForTabTitle(again.TabAt(2), "Four"));
  EXPECT_EQ(again.CurrentIndex(), 1) << "the tab that was current is current again";
  EXPECT_TRUE(WaitForTitle("Three - NUVE浏览器M1"));
  ASSERT_TRUE(RunUntil([&] { return again.TabAt(0).page().CanGoBack(); }));
  again.TabAt(0).page().GoBack();
  EXPECT_TRUE(WaitForTabTitle(again.TabAt(0), "One")) << "the back list came back too";
  EXPECT_EQ(pages_->Hits("/title/Three"), 2) << "each page loads once per run";

  // An address on the command line opens that page only.
  core::StartRequest with_address;
  with_address.address = pages_->Url("/title/Five");
  ui::MainWindow& third = Restart(with_address);
  ASSERT_TRUE(WaitForTitle("Five - NUVE浏览器M1"));
  EXPECT_EQ(third.tab_strip().BrowsingTabCount(), 1);
}

TEST_F(SessionTest, BrowsingSettingsSaveTheRestoreOptionAndClearEverything) {
  ui::MainWindow& window = Open(pages_->Url("/set-cookie"));
  ASSERT_TRUE(WaitForTitle("cookie set - NUVE浏览器M1"));
  ui::BrowsingSettingsSection section(*context_);
  EXPECT_FALSE(section.restore_check().get_active());
  section.restore_check().set_active(true);
  EXPECT_TRUE(context_->settings().RestoreLastSession());
  ASSERT_TRUE(RunUntil([&] { return std::filesystem::exists(home_->path() / "session.ini"); }));

  g_signal_emit_by_name(section.clear_button().gobj(), "clicked");
  ASSERT_FALSE(ui_host_.messages.empty());
  EXPECT_NE(ui_host_.messages[0].find("清除所有 Cookie、缓存、网站数据和浏览历史记录"), std::string::npos);
  ASSERT_TRUE(RunUntil([&] { return ui_host_.messages.size() == 2; }));
  EXPECT_EQ(ui_host_.messages[1], "浏览数据已清除。");
  context_->history().Flush();
  context_->session().Flush();
  core::HistoryStore::Entries left;
  context_->history().Search("", 10, [&](core::HistoryStore::Entries e) { left = std::move(e); });
  context_->history().Flush();
  EXPECT_TRUE(left.empty());
  EXPECT_FALSE(std::filesystem::exists(home_->path() / "session.ini"));
  window.tab_strip().FirstTab().page().Load(pages_->Url("/show-cookie"));
  EXPECT_TRUE(WaitForTitle("none - NUVE浏览器M1")) << "the site's cookie is gone";
}

}  // namespace
}  // namespace nuve::test
