// The settings window and the home page, on a main window in a fresh NUVE_HOME.
#include <gtest/gtest.h>

#include "core/settings/app_settings.h"
#include "ui/settings/settings_window.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

class SettingsWindowTest : public MainWindowTest {
 protected:
  // Opens the window through the menu item `action` and returns it.
  ui::SettingsWindow& OpenSettings(const char* action) {
    const size_t before = ui_host_.modals.size();
    window_->activate_action(action);
    EXPECT_EQ(ui_host_.modals.size(), before + 1);
    auto* settings = dynamic_cast<ui::SettingsWindow*>(ui_host_.modals.back().get());
    if (settings == nullptr) throw std::runtime_error("no settings window");
    return *settings;
  }
  // Closes the modal window as the user would; what runs "after" runs now.
  void CloseModal() {
    ui_host_.modals.back()->close();
    auto closers = std::move(ui_host_.closers);
    for (auto& closer : closers) closer();
  }
  std::string Page(const std::string& title) const {
    return "127.0.0.1:" + std::to_string(pages_->port()) + "/title/" + title;
  }
  std::filesystem::path SetSave() const { return home_->path() / "Set save.ini"; }
};

TEST_F(SettingsWindowTest, ControlsAndPresetsOnlyFillTheBox) {
  SetEnv("NUVE_SEARCH_ENGINE", "search.test");
  SetEnv("NUVE_PORTAL_B", "portal-b.test");
  core::AppSettings(core::Config::FromEnvironment()).SetHomePage("www.saved.test").ok();
  Open(pages_->Url("/title/One"));
  const std::string before = ReadFileBytes(SetSave());
  ui::SettingsWindow& settings = OpenSettings("win.settings");
  EXPECT_EQ(settings.CurrentPage(), ui::SettingsWindow::Page::kSettings);
  auto& entry = Named<Gtk::Entry>(settings, "编辑框1");
  EXPECT_EQ(entry.get_text(), "") << "the stored home page is not shown";

  Click(Named<Gtk::Button>(settings, "图形按钮2"));
  EXPECT_EQ(entry.get_text(), "search.test");
  Click(Named<Gtk::Button>(settings, "图形按钮3"));
  EXPECT_EQ(entry.get_text(), "portal-b.test");
  Click(Named<Gtk::Button>(settings, "图形按钮1"));
  EXPECT_EQ(entry.get_text().raw(), "127.0.0.1:" + std::to_string(pages_->port()) + "/title/portal");
  CloseModal();
  EXPECT_EQ(ReadFileBytes(SetSave()), before) << "without 保存 nothing changes on disk";
}

TEST_F(SettingsWindowTest, SaveStoresTheBoxAlsoWhenEmptyAndSaysNothing) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));
  const core::AppSettings& stored = context_->settings();
  ASSERT_TRUE(stored.SetHomePage(Page("Old")).ok());
  ASSERT_TRUE(stored.set_save().Write("其它", "键", "值").ok());
  ui::SettingsWindow& settings = OpenSettings("win.settings");
  settings.present();
  Click(Named<Gtk::Button>(settings, "按钮7"));
  EXPECT_EQ(stored.HomePage(), "");
  EXPECT_NE(ReadFileBytes(SetSave()).find("主页"), std::string::npos) << "the key is written, empty";
  EXPECT_EQ(stored.set_save().Read("其它", "键"), "值");
  EXPECT_TRUE(ui_host_.messages.empty());
  EXPECT_TRUE(settings.get_visible()) << "the window stays open";

  // An empty home page: closing the window leaves the tab alone, and the home
  // button goes to portal A.
  CloseModal();
  window.navigation_bar().signal_home().emit();
  EXPECT_TRUE(WaitForTabTitle(window.tab_strip().CurrentTab(), "portal"));
  EXPECT_EQ(pages_->Hits("/title/portal"), 1) << "closing went nowhere, the home button once";
  EXPECT_EQ(pages_->Hits("/title/One"), 1);

  // A file that cannot be written is reported.
  std::filesystem::remove(SetSave());
  std::filesystem::create_directory(SetSave());
  ui::SettingsWindow& again = OpenSettings("win.settings");
  Click(Named<Gtk::Button>(again, "按钮7"));
  ASSERT_EQ(ui_host_.messages.size(), 1u);
  EXPECT_EQ(ui_host_.messages[0].rfind("保存失败：", 0), 0u) << ui_host_.messages[0];
}

TEST_F(SettingsWindowTest, SettingsNavigatesTheCurrentTabAfterClosingAndAboutDoesNot) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "One"));
  ui::BrowserTab& second = strip.OpenTab(pages_->Url("/title/Two"));
  ASSERT_TRUE(WaitForTabTitle(second, "Two"));

  ui::SettingsWindow& settings = OpenSettings("win.settings");
  Named<Gtk::Entry>(settings, "编辑框1").set_text(Page("Home"));
  Click(Named<Gtk::Button>(settings, "按钮7"));
  ASSERT_EQ(context_->settings().HomePage(), Page("Home")) << "saved";
  // Nothing happens before the window closes: the one load of Home below
  // comes from closing it (the hit count at the end says so).
  EXPECT_EQ(second.page().Title(), "Two");
  CloseModal();
  ASSERT_TRUE(WaitForTabTitle(second, "Home"));
  EXPECT_EQ(strip.FirstTab().page().Title(), "One");
  strip.SelectTab(0);
  window.navigation_bar().signal_home().emit();  // the home button follows the saved page too
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "Home"));
  strip.SelectTab(1);
  EXPECT_EQ(pages_->Hits("/title/One"), 1);

  ui::SettingsWindow& about = OpenSettings("win.about");
  EXPECT_EQ(about.CurrentPage(), ui::SettingsWindow::Page::kAbout);
  EXPECT_EQ(Named<Gtk::Label>(about, "透明标签1").get_text(),
            "当前版本：beta M1.3.00\r\n\r\n当前版本开放限时注册功能！现在注册的帐号与以后其它NUVE旗下软件帐号通用！\r\n"
            "限时注册截止至2017.4.1。同时限量注册帐号1000个，若截止之前注册完毕，则提前停止注册，停止注册时将强制更新！");
  EXPECT_TRUE(ui_host_.closers.empty()) << "关于 has nothing to do after closing";
  second.page().Load(pages_->Url("/title/Three"));
  ASSERT_TRUE(WaitForTabTitle(second, "Three"));
  CloseModal();
  // A page loaded after closing proves the close has been handled.
  ui::BrowserTab& third = strip.OpenTab(pages_->Url("/title/Four"));
  ASSERT_TRUE(WaitForTabTitle(third, "Four"));
  EXPECT_EQ(second.page().Title(), "Three");
  EXPECT_EQ(pages_->Hits("/title/Home"), 2);
}

}  // namespace
}  // namespace nuve::test
