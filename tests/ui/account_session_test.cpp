// The main window's side of the login session, against the fake service.
#include <gtest/gtest.h>

#include "core/account/account_client.h"
#include "support/fake_account_service.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

class AccountSessionTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    service_ = std::make_unique<FakeAccountService>();
    service_->AddAccount("alice", "p&ss=1");
    SetEnv("NUVE_SERVICE_HOST", service_->host());
    SetEnv("NUVE_KEEPALIVE_MS", "200");
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    service_.reset();
  }

  // Logs in on the login window's client, as the login window does.
  void LogIn() {
    core::AccountClient& client = context_->login_account();
    ASSERT_TRUE(client.Login("alice", "p&ss=1").IsSuccess());
    ASSERT_TRUE(context_->login_session().KeepAliveRunning());
  }

  std::unique_ptr<FakeAccountService> service_;
};

TEST_F(AccountSessionTest, ExpiredLoginTellsTheUserThenClosesTheWindow) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  LogIn();
  ASSERT_TRUE(service_->WaitForRequests("/api/comm/keep.e", 1, std::chrono::seconds(5)));
  EXPECT_TRUE(window.get_visible()) << "renewals that succeed change nothing";
  service_->ExpireTokens();
  ASSERT_TRUE(RunUntil([&] { return !ui_host_.messages.empty(); }, 5000));
  EXPECT_EQ(ui_host_.messages.front(), "您的登陆会话已过期");
  EXPECT_TRUE(RunUntil([&] { return !window.get_visible(); }, 2000)) << "closing the box ends the program";
}

TEST_F(AccountSessionTest, StartUpSetsTheAppKeyAndLogoutStopsTheKeepAlive) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  // The main window's client carries the application key: its requests say so.
  context_->main_account().GetAnnouncement();
  const auto sent = service_->Requests();
  ASSERT_FALSE(sent.empty());
  EXPECT_NE(sent.back().body.find(std::string("appKey=") + core::kApplicationKey), std::string::npos)
      << sent.back().body;

  LogIn();
  window.activate_action("win.logout");
  EXPECT_FALSE(context_->login_session().KeepAliveRunning());
  EXPECT_EQ(LoginIni().Read("登录配置", "登录态"), "0");
  service_->ClearRequests();
  ASSERT_TRUE(WaitForQuiet());
  EXPECT_TRUE(service_->RequestsTo("/api/comm/keep.e").empty());
  EXPECT_TRUE(ui_host_.messages.empty());
}

}  // namespace
}  // namespace nuve::test
