// The version check at start-up and in its window, the new-version window's
// two ways out, and the update log.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "account_window_test.h"

namespace nuve::test {
namespace {

// A version source on 127.0.0.1 that publishes `label` for key 77: the key,
// 11 bytes, then the label between the next two quotes.
class VersionSource {
 public:
  explicit VersionSource(std::string label) : label_(std::move(label)) {
    server_.Get("/fcg-bin/cgi_get_portrait.fcg", [this](const httplib::Request&, httplib::Response& res) {
      ++hits_;
      res.set_content("portraitCallBack({\"77\":[\"1234567x\"" + label_ + "\",0]})", "text/plain");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~VersionSource() {
    server_.stop();
    thread_.join();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int hits() const { return hits_; }

 private:
  std::string label_;
  httplib::Server server_;
  int port_ = 0;
  std::atomic<int> hits_{0};
  std::thread thread_;
};

class UpdateWindowsTest : public AccountWindowTest {
 protected:
  void Publish(const std::string& label) {
    source_ = std::make_unique<VersionSource>(label);
    SetEnv("NUVE_VERSION_SOURCE", source_->Url());
    SetEnv("NUVE_VERSION_KEY", "77");
    SetEnv("NUVE_DOWNLOAD_PAGE", "http://127.0.0.1:9/download");
  }
  void TearDown() override {
    AccountWindowTest::TearDown();
    source_.reset();
  }
  std::unique_ptr<VersionSource> source_;
};

TEST_F(UpdateWindowsTest, TheSameLabelAtStartUpOpensNothing) {
  Publish("beta M1.3.00");
  OpenMain();
  ASSERT_TRUE(RunUntil([&] { return source_->hits() == 1; }));
  ASSERT_TRUE(WaitForQuiet()) << "the reply has been read";
  EXPECT_TRUE(ui_host_.modals.empty());
}

// The start-up check, like the favourites list, waits until the first page
// shows: a slow first page is not kept waiting behind them.
TEST_F(UpdateWindowsTest, TheStartUpCheckWaitsUntilTheFirstPageShows) {
  Publish("beta M1.3.00");
  pages_->set_slow_ms(1500);
  ui::MainWindow& main = Open(pages_->Url("/slow"));
  ASSERT_TRUE(RunUntil([&] { return main.tab_strip().FirstTab().page().IsLoading(); }));
  bool half_way = false;
  Glib::signal_timeout().connect_once([&] { half_way = true; }, 700);
  ASSERT_TRUE(RunUntil([&] { return half_way; }));
  ASSERT_TRUE(main.tab_strip().FirstTab().page().IsLoading()) << "the page is still on its way";
  EXPECT_EQ(source_->hits(), 0);
  EXPECT_FALSE(std::filesystem::exists(home_->path() / "Collection.ini"));

  ASSERT_TRUE(WaitForTitle("slow - NUVE浏览器M1"));
  EXPECT_TRUE(RunUntil([&] { return source_->hits() == 1; }));
  EXPECT_EQ(core::IniFile(home_->path() / "Collection.ini").Read("收藏夹配置", "收藏确认"), pages_->Url("/slow"));
}

TEST_F(UpdateWindowsTest, AnotherLabelOffersTheNewVersionWhoseButtonsEndTheProgram) {
  Publish("beta M1.3.10");
  for (const char* button : {"按钮1", "按钮2"}) {
    ui::MainWindow& main = OpenMain();
    ASSERT_TRUE(RunUntil([&] { return !ui_host_.modals.empty(); }));
    Gtk::Window& offer = LastModal();
    EXPECT_EQ(offer.get_title(), "发现新版本");
    EXPECT_EQ(Get<Gtk::Label>(offer, "透明标签1").get_text(),
              "本次限时限量注册已结束，请更新版本！\n请在弹出页面中选择下载M1.3.10版本！");
    Press(Get<Gtk::Button>(offer, button));
    // Closing the main window ends the program with exit code 0.
    EXPECT_TRUE(RunUntil([&] { return !main.get_visible(); }, 3000)) << button;
  }
  // "下载更新" opened the download page first; "关闭程序" opened nothing.
  EXPECT_EQ(ui_host_.opened, std::vector<std::string>{"http://127.0.0.1:9/download"});

  // Closed by its title bar, the offer lets the browser go on.
  ui::MainWindow& main = OpenMain();
  ASSERT_TRUE(RunUntil([&] { return !ui_host_.modals.empty(); }));
  LastModal().present();
  LastModal().close();
  ASSERT_TRUE(RunUntil([&] { return !LastModal().get_visible(); }, 3000));
  RunPending();
  EXPECT_TRUE(main.get_visible());
}

TEST_F(UpdateWindowsTest, AnUnreachableSourceIsAFailureNeverANewVersion) {
  // The fixture's version source is a closed port.
  OpenMain();
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));
  ASSERT_TRUE(WaitForQuiet()) << "the start-up lookup has failed";
  EXPECT_TRUE(ui_host_.modals.empty()) << "nothing opens at start-up";
  window_->activate_action("win.check-update");
  Gtk::Window& check = LastModal();
  EXPECT_EQ(check.get_title(), "检测更新 - NUVE浏览器M1");
  EXPECT_EQ(Get<Gtk::Label>(check, "透明标签3").get_text(), "beta M1.3.00");
  Gtk::Button& button = Get<Gtk::Button>(check, "按钮1");
  ASSERT_TRUE(RunUntil([&] { return button.get_sensitive(); }));
  Press(button);
  ASSERT_TRUE(RunUntil([&] { return !Get<Gtk::Label>(check, "透明标签5").get_text().empty(); }));
  EXPECT_EQ(Get<Gtk::Label>(check, "透明标签5").get_text(), "获取最新版本失败，请检查网络后重试！");
  EXPECT_NE(Get<Gtk::Label>(check, "透明标签5").get_label().raw().find("#FF0000"), std::string::npos);
  EXPECT_FALSE(Get<Gtk::Button>(check, "按钮2").get_visible());
  EXPECT_FALSE(Get<Gtk::Label>(check, "透明标签4").get_visible());
}

TEST_F(UpdateWindowsTest, TheCheckWindowComparesWithTheLatestLabel) {
  Publish("beta M1.3.00");
  OpenMain();
  window_->activate_action("win.check-update");
  Gtk::Window& same = LastModal();
  EXPECT_FALSE(Get<Gtk::Label>(same, "透明标签4").get_visible());
  Gtk::Button& check = Get<Gtk::Button>(same, "按钮1");
  ASSERT_TRUE(RunUntil([&] { return check.get_sensitive(); }));
  Press(check);
  EXPECT_EQ(Get<Gtk::Label>(same, "透明标签5").get_text(), "当前已是最新版本！");
  EXPECT_NE(Get<Gtk::Label>(same, "透明标签5").get_label().raw().find("#00FF00"), std::string::npos);
  EXPECT_TRUE(Get<Gtk::Label>(same, "透明标签4").get_visible());
  EXPECT_EQ(Get<Gtk::Label>(same, "透明标签4").get_text(), "beta M1.3.00");
  EXPECT_FALSE(Get<Gtk::Button>(same, "按钮2").get_visible());

  source_.reset();
  Publish("Beta M1.3.00");  // a difference in case is a difference
  OpenMain();
  ASSERT_TRUE(RunUntil([&] { return !ui_host_.modals.empty(); })) << "the offer at start-up";
  window_->activate_action("win.check-update");
  Gtk::Window& other = LastModal();
  Gtk::Button& check_other = Get<Gtk::Button>(other, "按钮1");
  ASSERT_TRUE(RunUntil([&] { return check_other.get_sensitive(); }));
  Press(check_other);
  Press(check_other);  // again: the same comparison, no new lookup
  EXPECT_EQ(source_->hits(), 2) << "one at start-up, one when the window opened";
  EXPECT_EQ(Get<Gtk::Label>(other, "透明标签5").get_text(), "发现新版本，请更新！");
  Gtk::Button& download = Get<Gtk::Button>(other, "按钮2");
  EXPECT_TRUE(download.get_visible());
  Press(download);
  EXPECT_EQ(ui_host_.opened, std::vector<std::string>{"http://127.0.0.1:9/download"});
  EXPECT_TRUE(window_->get_visible()) << "the browser goes on";
}

TEST_F(UpdateWindowsTest, TheUpdateLogShowsItsFixedText) {
  OpenMain();
  window_->activate_action("win.update-log");
  Gtk::Window& log = LastModal();
  EXPECT_EQ(log.get_title(), "更新日志");
  EXPECT_EQ(Get<Gtk::Label>(log, "标签1").get_text(), "beta M1.3.00 更新日志");
  EXPECT_EQ(Get<Gtk::Label>(log, "透明标签1").get_text().raw().rfind("1.开放限时限量注册，2017.4.1日结束", 0), 0u);
}

}  // namespace
}  // namespace nuve::test
