// Downloads against files served on 127.0.0.1: into the download folder,
// under a name of their own, listed with their outcome.
#include <gtest/gtest.h>

#include <filesystem>

#include "window_test_support.h"

namespace nuve::test {
namespace {

using State = ui::DownloadItem::State;

class DownloadsTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    folder_ = home_->path() / "下载";
  }

  // Waits for the `n`th download (1-based) to end; null when it does not.
  ui::DownloadItem* WaitForFinished(ui::MainWindow& window, size_t n, int ms = 20000) {
    auto& items = window.downloads().items();
    if (!RunUntil([&] { return items.size() >= n && items[n - 1]->finished(); }, ms)) return nullptr;
    return items[n - 1].get();
  }

  std::filesystem::path folder_;
};

TEST_F(DownloadsTest, AFileLandsCompleteUnderAFreeNameAndIsListed) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "One"));
  tab.page().Load(pages_->Url("/download/300000"));
  ui::DownloadItem* first = WaitForFinished(window, 1);
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(first->state(), State::kCompleted) << first->problem();
  EXPECT_EQ(first->final_path(), folder_ / "data.bin");
  EXPECT_EQ(ReadFileBytes(folder_ / "data.bin"), PageServer::DownloadBytes(300000));
  EXPECT_FALSE(std::filesystem::exists(folder_ / "data.bin.part"));
  EXPECT_EQ(window.status_bar().get_text().raw(), "下载完成：data.bin");
  EXPECT_EQ(tab.page().Title(), "One") << "the page stays where it was";

  // The same file again takes a free name; a response no page can show is
  // saved too, named after its address.
  tab.page().Load(pages_->Url("/download/10"));
  ui::DownloadItem* second = WaitForFinished(window, 2);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->final_path(), folder_ / "data (1).bin");
  EXPECT_EQ(ReadFileBytes(folder_ / "data.bin").size(), 300000u) << "the first file is untouched";
  tab.page().Load(pages_->Url("/octet/4096"));
  ui::DownloadItem* third = WaitForFinished(window, 3);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->state(), State::kCompleted);
  EXPECT_EQ(ReadFileBytes(third->final_path()), PageServer::DownloadBytes(4096));

  // The list shows every download, newest first, with what can be done now.
  ui::DownloadRow* row = window.downloads_popover().RowOf(*first);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->status_label().get_text().raw(), "已完成，293.0 KB");
  EXPECT_TRUE(row->open_button().get_visible());
  EXPECT_TRUE(row->open_folder_button().get_visible());
  EXPECT_FALSE(row->cancel_button().get_visible());
  EXPECT_EQ(window.downloads_popover().list().get_row_at_index(0)->get_child(),
            window.downloads_popover().RowOf(*third));
}

TEST_F(DownloadsTest, CancelLeavesNoPartialFile) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "One"));
  tab.page().Load(pages_->Url("/slow-download"));
  auto& items = window.downloads().items();
  ASSERT_TRUE(RunUntil([&] { return !items.empty() && items[0]->received_bytes() > 0; }));
  ui::DownloadItem& item = *items[0];
  EXPECT_EQ(item.state(), State::kRunning);
  EXPECT_TRUE(std::filesystem::exists(folder_ / "slow.bin.part")) << "it carries .part until complete";
  EXPECT_EQ(window.status_bar().get_text().raw(), "开始下载：slow.bin");
  ui::DownloadRow* row = window.downloads_popover().RowOf(item);
  ASSERT_NE(row, nullptr);
  ASSERT_TRUE(row->cancel_button().get_visible());
  g_signal_emit_by_name(row->cancel_button().gobj(), "clicked");  // the list is closed: no pointer reaches it
  ASSERT_TRUE(RunUntil([&] { return item.finished(); }));
  EXPECT_EQ(item.state(), State::kCancelled);
  EXPECT_TRUE(RunUntil([&] { return !std::filesystem::exists(folder_ / "slow.bin.part"); }, 5000));
  EXPECT_FALSE(std::filesystem::exists(folder_ / "slow.bin"));
  EXPECT_EQ(row->status_label().get_text().raw(), "已取消");
}

TEST_F(DownloadsTest, AFolderThatCannotBeWrittenIsReportedAndTheBrowserGoesOn) {
  WriteFileBytes(home_->path() / "not-a-folder", "x");
  SetEnv("NUVE_DOWNLOAD_DIR", (home_->path() / "not-a-folder" / "下载").string());
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "One"));
  tab.page().Load(pages_->Url("/download/100"));
  ui::DownloadItem* item = WaitForFinished(window, 1);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->state(), State::kFailed);
  EXPECT_NE(item->problem().find("无法写入下载文件夹"), std::string::npos) << item->problem();
  EXPECT_EQ(window.status_bar().get_text().raw().rfind("下载失败：data.bin", 0), 0u) << window.status_bar().get_text();
  EXPECT_NE(window.downloads_popover().RowOf(*item)->status_label().get_text().raw().find("失败"), std::string::npos);
  tab.page().Load(pages_->Url("/title/Two"));
  EXPECT_TRUE(WaitForTabTitle(tab, "Two"));
}

}  // namespace
}  // namespace nuve::test
