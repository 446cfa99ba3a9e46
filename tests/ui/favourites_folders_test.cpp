// Favourites folders in the panel and the add window, changes made behind
// the program's back, and import and export from the favourites menu.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "core/favourites/netscape_html.h"
#include "core/favourites/url_file.h"
#include "ui/favourites/add_favourite_window.h"
#include "ui/favourites/favourites_transfer.h"
#include "support/test_environment.h"
#include "ui/favourites/folder_name_window.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

class FavouritesFoldersTest : public MainWindowTest {
 protected:
  std::filesystem::path Folder() const { return home_->path() / "收藏夹"; }
  ui::FavouritesPanel& Panel() { return window_->favourites_panel(); }
  void Write(const std::string& path, const std::string& address) {
    std::filesystem::create_directories((Folder() / path).parent_path());
    WriteFileBytes(Folder() / (path + ".url"), core::UrlFileContent(address));
  }
  int IndexOf(const std::string& title) {
    const auto titles = Panel().Titles();
    const auto it = std::find(titles.begin(), titles.end(), title);
    return it == titles.end() ? -1 : static_cast<int>(it - titles.begin());
  }
  template <typename T>
  T& LastModalAs() {
    auto* window = dynamic_cast<T*>(ui_host_.modals.back().get());
    if (window == nullptr) throw std::runtime_error("not the window expected");
    return *window;
  }
};

TEST_F(FavouritesFoldersTest, FoldersOpenAndCloseByKeyArrowAndEnterAndTheAddWindowSavesIntoOne) {
  Write("工具/翻译", "http://fanyi.test/");
  Write("工具/子/深处", "http://deep.test/");
  Write("新浪", "http://sina.test/");
  Open(pages_->Url("/title/One"));
  ASSERT_TRUE(WaitForStartUp("One - NUVE浏览器M1"));
  EXPECT_EQ(Panel().Titles(), (std::vector<std::string>{"工具", "新浪"}));
  ASSERT_TRUE(Panel().IsFolder(0));
  EXPECT_FALSE(Panel().IsExpanded(0));

  // The keyboard: Right opens the selected folder, Left closes it, Left on
  // a row inside goes to its folder.
  window_->activate_action("win.toggle-favourites");
  Gtk::ListBoxRow& tools = *Panel().list().get_row_at_index(0);
  ASSERT_TRUE(WaitUntilShown(tools));
  Panel().Select(0);
  tools.grab_focus();
  ASSERT_TRUE(XDoTool("key Right"));
  ASSERT_TRUE(RunUntil([&] { return Panel().IsExpanded(0); }, 5000));
  EXPECT_EQ(Panel().Titles(), (std::vector<std::string>{"工具", "子", "翻译", "新浪"}));
  EXPECT_EQ(Panel().DepthOf(1), 1);
  EXPECT_EQ(Panel().DepthOf(3), 0);
  Panel().Select(2);
  Panel().list().get_row_at_index(2)->grab_focus();
  ASSERT_TRUE(XDoTool("key Left"));
  ASSERT_TRUE(RunUntil([&] { return Panel().SelectedIndex() == 0; }, 5000)) << "to the folder of the row";
  ASSERT_TRUE(XDoTool("key Left"));
  ASSERT_TRUE(RunUntil([&] { return !Panel().IsExpanded(0); }, 5000));
  EXPECT_EQ(Panel().Titles(), (std::vector<std::string>{"工具", "新浪"}));
  // Enter (or a double-click) on a folder opens it; a click on its arrow too.
  Panel().list().get_row_at_index(0)->activate();
  EXPECT_TRUE(Panel().IsExpanded(0));
  Panel().SetExpanded(1, true);
  EXPECT_EQ(Panel().Titles(), (std::vector<std::string>{"工具", "子", "深处", "翻译", "新浪"}));
  EXPECT_EQ(Panel().DepthOf(2), 2);
  Gtk::Widget* arrow = Panel().list().get_row_at_index(1)->get_child()->get_first_child();
  ASSERT_TRUE(WaitUntilShown(*arrow));
  ASSERT_TRUE(PointerAtCentre(*arrow, "click 1"));
  ASSERT_TRUE(RunUntil([&] { return !Panel().IsExpanded(1); }, 5000));

  // The add window offers every folder; the favourite lands in the one
  // picked, and its row shows in the open folder.
  window_->activate_action("win.add-favourite");
  auto& add = LastModalAs<ui::AddFavouriteWindow>();
  EXPECT_EQ(add.PickedFolder(), Folder()) << "the top level first";
  EXPECT_FALSE(add.PickFolder(home_->path())) << "nothing outside the favourites";
  ASSERT_TRUE(add.PickFolder(Folder() / "工具"));
  Named<Gtk::Entry>(add, "编辑框2").set_text("第一页");
  Click(Named<Gtk::Button>(add, "按钮1"));
  EXPECT_EQ(ui_host_.messages.back(), "成功添加到收藏夹！");
  EXPECT_EQ(ReadFileBytes(Folder() / "工具" / "第一页.url"), "[InternetShortcut]\r\nURL=" + pages_->Url("/title/One"));
  EXPECT_EQ(Panel().Titles(), (std::vector<std::string>{"工具", "子", "翻译", "第一页", "新浪"}));

  // A file manager adds a favourite and removes one: the list follows, the
  // open folder stays open.
  Write("外面加的", "http://outside.test/");
  std::filesystem::remove(Folder() / "工具" / "翻译.url");
  ASSERT_TRUE(RunUntil([&] { return IndexOf("外面加的") >= 0 && IndexOf("翻译") < 0; }, 10000));
  EXPECT_TRUE(Panel().IsExpanded(IndexOf("工具")));
  EXPECT_EQ(Panel().Titles(), (std::vector<std::string>{"工具", "子", "第一页", "外面加的", "新浪"}));
}

TEST_F(FavouritesFoldersTest, DeletingAFolderAsksFirstAndANewFolderAsksForItsName) {
  Write("工具/翻译", "http://fanyi.test/");
  Write("新浪", "http://sina.test/");
  Open(pages_->Url("/title/One"));
  ASSERT_TRUE(WaitForStartUp("One - NUVE浏览器M1"));

  Panel().Select(0);
  ui_host_.confirm_answer = false;
  Panel().activate_action("favourites.delete");
  ASSERT_EQ(ui_host_.messages.size(), 1u);
  EXPECT_NE(ui_host_.messages[0].find("确定要删除文件夹“工具”吗？"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(Folder() / "工具" / "翻译.url")) << "no means no";
  EXPECT_EQ(Panel().Titles(), (std::vector<std::string>{"工具", "新浪"}));
  ui_host_.confirm_answer = true;
  Panel().activate_action("favourites.delete");
  EXPECT_FALSE(std::filesystem::exists(Folder() / "工具"));
  EXPECT_EQ(Panel().Titles(), std::vector<std::string>{"新浪"});
  // A favourite still goes without a question.
  Panel().Select(0);
  Panel().activate_action("favourites.delete");
  EXPECT_EQ(ui_host_.messages.size(), 2u);
  EXPECT_TRUE(Panel().Titles().empty());

  // "新建文件夹" asks for a name, refuses one that is no folder name, and
  // shows the new folder selected.
  Panel().activate_action("favourites.new-folder");
  auto& name = LastModalAs<ui::FolderNameWindow>();
  name.present();
  Named<Gtk::Entry>(name, "文件夹名称").set_text(".隐藏");
  name.Confirm();
  EXPECT_NE(ui_host_.messages.back().find("不能以点开头"), std::string::npos);
  EXPECT_TRUE(name.get_visible());
  Named<Gtk::Entry>(name, "文件夹名称").set_text("新的文件夹");
  Click(Named<Gtk::Button>(name, "确定"));
  EXPECT_FALSE(name.get_visible());
  EXPECT_TRUE(std::filesystem::is_directory(Folder() / "新的文件夹"));
  EXPECT_EQ(Panel().Titles(), std::vector<std::string>{"新的文件夹"});
  EXPECT_EQ(Panel().SelectedIndex(), 0);
  // Inside the selected folder, the next one.
  Panel().activate_action("favourites.new-folder");
  auto& inner = LastModalAs<ui::FolderNameWindow>();
  Named<Gtk::Entry>(inner, "文件夹名称").set_text("里面");
  inner.Confirm();
  EXPECT_TRUE(std::filesystem::is_directory(Folder() / "新的文件夹" / "里面"));
  EXPECT_EQ(Panel().Titles(), (std::vector<std::string>{"新的文件夹", "里面"}));
}

TEST_F(FavouritesFoldersTest, ImportAndExportFromTheFavouritesMenu) {
  // A Chromium profile in a home folder of the test's own.
  const TempHome user(false);
  const auto profile = user.path() / ".config/chromium/Default";
  std::filesystem::create_directories(profile);
  WriteFileBytes(profile / "Bookmarks", ReadFileBytes(NUVE_BOOKMARK_DATA "/Bookmarks"));
  Open(pages_->Url("/title/One"));
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));

  window_->activate_action("win.import-favourites");
  EXPECT_EQ(ui_host_.modals.back()->get_title(), "导入收藏");
  ui::ImportFavouritesWindow importer(*context_, user.path());
  ASSERT_EQ(importer.sources().size(), 1u);
  EXPECT_EQ(importer.sources()[0].label, "Chromium（Default）");
  importer.ImportSource(0);
  ASSERT_TRUE(RunUntil([&] { return !ui_host_.messages.empty(); }));
  EXPECT_EQ(ui_host_.messages.back(),
            "已导入 8 个收藏，跳过 1 个重复；另有 1 个不是网页地址（如 javascript:），没有导入");
  // The panel shows the folders as soon as the files have settled.
  const auto sorted_titles = [&] {
    auto titles = Panel().Titles();
    std::sort(titles.begin(), titles.end());
    return titles;
  };
  ASSERT_TRUE(RunUntil([&] { return sorted_titles() == std::vector<std::string>{"书签栏", "其他书签"}; }, 10000));
  importer.ImportSource(0);
  ASSERT_TRUE(RunUntil([&] { return ui_host_.messages.size() == 2; }));
  EXPECT_EQ(ui_host_.messages.back().rfind("已导入 0 个收藏，跳过 9 个重复", 0), 0u) << ui_host_.messages.back();

  // A file that is none: told why, nothing imported.
  WriteFileBytes(user.path() / "broken.json", "{\"roots\": [tru");
  importer.ImportFile(user.path() / "broken.json");
  ASSERT_TRUE(RunUntil([&] { return ui_host_.messages.size() == 3; }));
  EXPECT_EQ(ui_host_.messages.back().rfind("无法读取“broken.json”的收藏：", 0), 0u) << ui_host_.messages.back();

  // The chooser proposes a name; the file goes where the user says.
  const auto exported = user.path() / "导出.html";
  window_->activate_action("win.export-favourites");
  ASSERT_EQ(ui_host_.save_questions.size(), 1u);
  EXPECT_EQ(ui_host_.save_questions[0].name, "NUVE收藏.html");
  ui_host_.save_answers[0](exported);
  ASSERT_TRUE(RunUntil([&] { return ui_host_.messages.size() == 4; }));
  EXPECT_EQ(ui_host_.messages.back(), "已导出 8 个收藏到 " + exported.string());
  EXPECT_EQ(core::ParseNetscapeHtml(ReadFileBytes(exported)).bookmarks, 8u);
}

// Ten thousand favourites: the list fills a part at a time, and the window
// keeps answering while it does. The home is in memory when the machine has
// one: making the files on disk is not what is tested.
class ManyFavouritesTest : public FavouritesFoldersTest {
 protected:
  void SetUp() override {
    const std::optional<std::string> previous = TestEnvironment("TMPDIR");
    if (access("/dev/shm", W_OK) == 0) SetTestEnvironment("TMPDIR", "/dev/shm");
    FavouritesFoldersTest::SetUp();
    RestoreTestEnvironment("TMPDIR", previous);
  }
};

TEST_F(ManyFavouritesTest, TenThousandFavouritesFillTheListWithoutHoldingTheWindow) {
  std::filesystem::create_directories(Folder());
  for (int i = 0; i < 10000; ++i) {
    WriteFileBytes(Folder() / ("收藏 " + std::to_string(i) + ".url"),
                   core::UrlFileContent("http://many.test/" + std::to_string(i)));
  }
  Open(pages_->Url("/title/One"));
  // Ticks of a timer that runs beside the filling: each one is a moment the
  // window answered, between two parts of the list.
  int ticks = 0;
  std::size_t rows_at_first_tick = 0;
  auto tick = Glib::signal_timeout().connect(
      [&] {
        if (ticks++ == 0) rows_at_first_tick = Panel().Titles().size();
        return true;
      },
      1);
  ASSERT_TRUE(RunUntil([&] { return Panel().Titles().size() == 10000; }, 120000));
  tick.disconnect();
  EXPECT_GT(ticks, 5);
  EXPECT_LT(rows_at_first_tick, 10000u) << "the window answered before the list was complete";
  EXPECT_EQ(Panel().Titles().front(), "收藏 0");
  EXPECT_EQ(Panel().Titles().back(), "收藏 9999") << "sorted as a file manager sorts numbers";
  // Opening one still works at once.
  Panel().list().get_row_at_index(9999)->activate();
  EXPECT_EQ(window_->navigation_bar().Address(), "http://many.test/9999");
}

}  // namespace
}  // namespace nuve::test
