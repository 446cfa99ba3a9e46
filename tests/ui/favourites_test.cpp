// The favourites: the add window, the panel and its pop-up menu, the menu
// items, on a main window in a fresh NUVE_HOME.
#include <gtest/gtest.h>

#include "core/settings/ini_file.h"
#include "ui/favourites/add_favourite_window.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

class FavouritesTest : public MainWindowTest {
 protected:
  std::filesystem::path Folder() const { return home_->path() / "收藏夹"; }
  ui::FavouritesPanel& Panel() { return window_->favourites_panel(); }

  // "添加到收藏夹(F1)": the add window the main window opened, shown.
  ui::AddFavouriteWindow& OpenAddWindow() {
    const size_t before = ui_host_.modals.size();
    window_->activate_action("win.add-favourite");
    EXPECT_EQ(ui_host_.modals.size(), before + 1);
    auto* add = dynamic_cast<ui::AddFavouriteWindow*>(ui_host_.modals.back().get());
    if (add == nullptr) throw std::runtime_error("no add window");
    add->present();
    return *add;
  }
  void Fill(ui::AddFavouriteWindow& add, const std::string& address, const std::string& remark) {
    Named<Gtk::Entry>(add, "编辑框1").set_text(address);
    Named<Gtk::Entry>(add, "编辑框2").set_text(remark);
  }
  void ClickConfirm(ui::AddFavouriteWindow& add) { Click(Named<Gtk::Button>(add, "按钮1")); }

  std::string LastMessage() const { return ui_host_.messages.empty() ? "" : ui_host_.messages.back(); }
};

TEST_F(FavouritesTest, AddChecksInOrderAndRefusesNamesThatAreNoFileName) {
  Open(pages_->Url("/title/One"));
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));
  ui::AddFavouriteWindow& add = OpenAddWindow();
  ASSERT_FALSE(std::filesystem::exists(Folder()));

  Fill(add, "", "");
  ClickConfirm(add);
  EXPECT_EQ(LastMessage(), "请输入收藏网址！") << "both empty: the address is reported";
  EXPECT_TRUE(std::filesystem::is_directory(Folder())) << "the folder is made even when the input is refused";
  Fill(add, "http://a.test/", "");
  ClickConfirm(add);
  EXPECT_EQ(LastMessage(), "请输入收藏网址备注！");

  for (const char* refused : {"../x", "a/b", "..", "end.", "what?"}) {
    Fill(add, "http://a.test/", refused);
    ClickConfirm(add);
    EXPECT_NE(LastMessage().find("\\ / : * ? \" < > |"), std::string::npos) << refused << ": " << LastMessage();
  }
  EXPECT_TRUE(std::filesystem::is_empty(Folder()));
  EXPECT_FALSE(std::filesystem::exists(home_->path() / "x.url"));
  EXPECT_TRUE(Panel().Titles().empty());
  EXPECT_TRUE(add.get_visible()) << "a refusal keeps the window open";

  Fill(add, "http://a.test/", "新浪 首页");
  ClickConfirm(add);
  EXPECT_EQ(LastMessage(), "成功添加到收藏夹！");
  EXPECT_EQ(ReadFileBytes(Folder() / "新浪 首页.url"), "[InternetShortcut]\r\nURL=http://a.test/");
  EXPECT_EQ(Panel().Titles(), std::vector<std::string>{"新浪 首页"});
  EXPECT_FALSE(add.get_visible()) << "a saved favourite closes the window";
}

TEST_F(FavouritesTest, AddAndOpenUseTheCurrentTabAndOneRowPerTitle) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTabTitle(strip.FirstTab(), "One"));
  ui::BrowserTab& second = strip.OpenTab(pages_->Url("/title/Two"));
  ASSERT_TRUE(WaitForTabTitle(second, "Two"));

  ui::AddFavouriteWindow& add = OpenAddWindow();
  EXPECT_EQ(Named<Gtk::Entry>(add, "编辑框1").get_text().raw(), pages_->Url("/title/Two"));
  EXPECT_EQ(Named<Gtk::Entry>(add, "编辑框2").get_text(), "Two");
  ClickConfirm(add);
  // The same remark again, with another address: one file, one row.
  ui::AddFavouriteWindow& again = OpenAddWindow();
  Fill(again, pages_->Url("/title/Three"), "Two");
  ClickConfirm(again);
  EXPECT_EQ(ui_host_.messages, (std::vector<std::string>{"成功添加到收藏夹！", "成功添加到收藏夹！"}));
  EXPECT_EQ(Panel().Titles(), std::vector<std::string>{"Two"});
  EXPECT_EQ(ReadFileBytes(Folder() / "Two.url"), "[InternetShortcut]\r\nURL=" + pages_->Url("/title/Three"));

  // A double-click with nothing selected opens nothing; on the row it opens
  // the favourite in the tab on screen.
  Panel().Select(-1);
  Panel().OpenSelected();
  Panel().list().get_row_at_index(0)->activate();
  ASSERT_TRUE(WaitForTabTitle(second, "Three"));
  EXPECT_EQ(strip.FirstTab().page().Title(), "One");
  EXPECT_EQ(pages_->Hits("/title/One"), 1);
}

TEST_F(FavouritesTest, StartUpListingDeleteAndThePopUpMenu) {
  std::filesystem::create_directories(Folder());
  WriteFileBytes(Folder() / "Upper.URL", "[InternetShortcut]\r\nURL=" + pages_->Url("/title/Upper") +
                                             "\r\nIconFile=http://127.0.0.1:9/favicon.ico\r\nIconIndex=1\r\n");
  WriteFileBytes(Folder() / "\xD0\xC2\xC0\xCB.url", "[InternetShortcut]\r\nURL=" + pages_->Url("/title/Gbk"));
  WriteFileBytes(Folder() / "empty.url", "");
  WriteFileBytes(Folder() / "readme.txt", "not a favourite");
  // A marker file with broken lines and a key of someone else's.
  WriteFileBytes(home_->path() / "Collection.ini", "[收藏夹配置]\r\n收藏确认=old\r\nbroken line\r\n[其它]\r\n键=值\r\n");
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ASSERT_TRUE(WaitForStartUp("One - NUVE浏览器M1"));
  EXPECT_EQ(Panel().Titles(), (std::vector<std::string>{"empty", "Upper", "新浪"}));
  const core::IniFile collection(home_->path() / "Collection.ini");
  EXPECT_EQ(collection.Read("收藏夹配置", "收藏确认"), pages_->Url("/title/One"));
  EXPECT_EQ(collection.Read("其它", "键"), "值");

  // Lines after the address, and a GBK name: both open their page.
  Panel().list().get_row_at_index(1)->activate();
  ASSERT_TRUE(WaitForTabTitle(window.tab_strip().CurrentTab(), "Upper"));
  Panel().list().get_row_at_index(2)->activate();
  ASSERT_TRUE(WaitForTabTitle(window.tab_strip().CurrentTab(), "Gbk"));
  Panel().list().get_row_at_index(0)->activate();  // no address: nothing happens
  // The next favourite opened shows it: the page before it is still Gbk.
  Panel().list().get_row_at_index(1)->activate();
  ASSERT_TRUE(RunUntil([&] { return window.tab_strip().CurrentTab().page().Title() == "Upper"; }));
  WebKitBackForwardListItem* before =
      webkit_back_forward_list_get_back_item(webkit_web_view_get_back_forward_list(window.tab_strip().CurrentTab().page().view()));
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(std::string(webkit_back_forward_list_item_get_uri(before)), pages_->Url("/title/Gbk"));

  // The pop-up menu: "删除" only with a selection.
  Panel().Select(-1);
  Panel().ShowMenu(10, 10);
  EXPECT_FALSE(Panel().DeleteEnabled());
  Panel().menu().popdown();
  Panel().Select(2);
  Panel().ShowMenu(10, 10);
  EXPECT_TRUE(Panel().DeleteEnabled());
  Panel().menu().popdown();

  // Delete, without a question, also when the file is already gone.
  std::filesystem::remove(Folder() / "\xD0\xC2\xC0\xCB.url");
  Panel().activate_action("favourites.delete");
  EXPECT_EQ(Panel().Titles(), (std::vector<std::string>{"empty", "Upper"}));
  Panel().Select(1);
  Panel().activate_action("favourites.delete");
  EXPECT_EQ(Panel().Titles(), std::vector<std::string>{"empty"});
  EXPECT_FALSE(std::filesystem::exists(Folder() / "Upper.URL"));
  EXPECT_TRUE(ui_host_.messages.empty());
  EXPECT_EQ(Panel().SelectedIndex(), -1);
  EXPECT_FALSE(Panel().DeleteEnabled());
}

TEST_F(FavouritesTest, PanelTogglesAndEveryMenuItemHasItsWindow) {
  std::filesystem::create_directories(Folder());
  WriteFileBytes(Folder() / "a.url", "[InternetShortcut]\r\nURL=http://a.test/");
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ASSERT_TRUE(WaitForStartUp("One - NUVE浏览器M1"));
  EXPECT_FALSE(Panel().get_visible()) << "hidden at start";
  window.activate_action("win.toggle-favourites");
  EXPECT_TRUE(Panel().get_visible());
  EXPECT_TRUE(Panel().hide_button().get_visible());
  window.activate_action("win.toggle-favourites");
  EXPECT_FALSE(Panel().get_visible()) << "pressed twice: back to the first state";
  window.activate_action("win.toggle-favourites");

  // A right click on a row selects it and opens the menu with "删除" on.
  ASSERT_TRUE(WaitUntilShown(*Panel().list().get_row_at_index(0)));
  ASSERT_TRUE(PointerAtCentre(*Panel().list().get_row_at_index(0), "click 3"));
  ASSERT_TRUE(RunUntil([&] { return Panel().menu().get_visible(); }, 3000));
  EXPECT_EQ(Panel().SelectedIndex(), 0);
  EXPECT_TRUE(Panel().DeleteEnabled());
  Panel().menu().popdown();

  Click(Named<Gtk::Button>(window, "超级按钮1"));
  EXPECT_FALSE(Panel().get_visible());

  for (const char* name : {"settings", "about", "add-favourite", "toggle-favourites", "open-favourites-folder",
                           "check-update", "update-log", "login", "personal-centre"}) {
    EXPECT_TRUE(window.lookup_action(name)->get_enabled()) << name;
  }
}

TEST_F(FavouritesTest, AFolderThatCannotBeMadeIsReportedAndNothingIsLost) {
  // A file stands where the folder should be.
  WriteFileBytes(Folder(), "in the way");
  // The system's data folders without their applications: nothing handles a
  // folder, so opening one fails (later, without waiting for it).
  const TempHome data(false);
  for (const char* share : {"/usr/local/share", "/usr/share"}) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(share, ec)) {
      if (entry.path().filename() == "applications") continue;
      std::filesystem::create_symlink(entry.path(), data.path() / entry.path().filename(), ec);
    }
  }
  SetEnv("XDG_DATA_DIRS", data.path().string());
  SetEnv("XDG_DATA_HOME", (data.path() / "home").string());
  Open(pages_->Url("/title/One"));
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));
  EXPECT_TRUE(Panel().Titles().empty());

  ui::AddFavouriteWindow& add = OpenAddWindow();
  Fill(add, "http://a.test/", "a");
  ClickConfirm(add);
  EXPECT_EQ(LastMessage().rfind("收藏失败：", 0), 0u) << LastMessage();
  EXPECT_TRUE(Panel().Titles().empty()) << "no row for a file that was not written";
  EXPECT_TRUE(add.get_visible());
  EXPECT_EQ(ReadFileBytes(Folder()), "in the way");

  window_->activate_action("win.open-favourites-folder");
  EXPECT_EQ(LastMessage().rfind("无法打开收藏夹：", 0), 0u) << LastMessage();

  std::filesystem::remove(Folder());
  const size_t before = ui_host_.messages.size();
  window_->activate_action("win.open-favourites-folder");
  EXPECT_TRUE(std::filesystem::is_directory(Folder()));
  ASSERT_TRUE(RunUntil([&] { return ui_host_.messages.size() > before; }, 5000)) << "the answer comes back later";
  EXPECT_EQ(LastMessage().rfind("无法打开收藏夹：", 0), 0u) << LastMessage();
}

}  // namespace
}  // namespace nuve::test
