// The main window's side of the login session, against the fake service:
// only the service's refusal of the token ends the login, and never the
// browser; a service out of reach for a while changes nothing the user sees.
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
    // The first retry after a failed renewal, doubled each time up to the
    // interval: 50, 100, 200, 200 ms ... (15 s, 30 s, 60 s ... normally).
    SetEnv("NUVE_KEEPALIVE_RETRY_MS", "50");
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

TEST_F(AccountSessionTest, ARefusedTokenEndsTheLoginAndTheBrowserGoesOn) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  window.tab_strip().OpenTab(pages_->Url("/title/Two"));
  LogIn();
  context_->login_state().RecordLogin("alice");
  ASSERT_TRUE(service_->WaitForRequests("/api/comm/keep.e", 1, std::chrono::seconds(5)));
  EXPECT_TRUE(ui_host_.messages.empty()) << "renewals that succeed change nothing";
  service_->ExpireTokens();
  ASSERT_TRUE(RunUntil([&] { return !ui_host_.messages.empty(); }, 5000));
  EXPECT_EQ(ui_host_.messages.front(), "您的登陆会话已过期");
  EXPECT_EQ(LoginIni().Read("登录配置", "登录态"), "0");
  EXPECT_FALSE(context_->login_session().KeepAliveRunning());
  // The user closed the box (the recording host answers at once): the
  // window, its tabs and the program stay.
  ASSERT_TRUE(WaitForQuiet());
  EXPECT_TRUE(window.get_visible());
  EXPECT_EQ(window.tab_strip().BrowsingTabCount(), 2);
  EXPECT_EQ(ui_host_.messages.size(), 1u);
}

TEST_F(AccountSessionTest, AServiceOutOfReachForAWhileKeepsTheLoginAndEveryTab) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  window.tab_strip().OpenTab(pages_->Url("/title/Two"));
  window.tab_strip().OpenTab(pages_->Url("/title/Three"));
  LogIn();
  context_->login_state().RecordLogin("alice");
  ASSERT_TRUE(service_->WaitForRequests("/api/comm/keep.e", 1, std::chrono::seconds(5)));
  // Gone, then failing three ways: no connection, a server error, busy. A
  // scaled-down half minute: several retries fail in each.
  service_->SetCustomReply("/api/comm/keep.e", R"({"code":5,"result":false,"message":"服务繁忙，请稍后再试"})");
  for (const ReplyMode mode : {ReplyMode::kDrop, ReplyMode::kServerError, ReplyMode::kCustom}) {
    service_->SetMode("/api/comm/keep.e", mode);
    service_->ClearRequests();
    ASSERT_TRUE(RunUntil([&] { return service_->RequestsTo("/api/comm/keep.e").size() >= 4; }, 10000));
    EXPECT_GE(context_->login_session().FailedRenewals(), 3);
  }
  EXPECT_TRUE(ui_host_.messages.empty()) << "no word to the user";
  EXPECT_TRUE(context_->login_session().KeepAliveRunning());
  EXPECT_EQ(LoginIni().Read("登录配置", "登录态"), "1");

  service_->SetMode("/api/comm/keep.e", ReplyMode::kNormal);
  ASSERT_TRUE(RunUntil([&] { return context_->login_session().FailedRenewals() == 0; }, 5000))
      << "the login is renewed once the service is back";
  service_->ClearRequests();
  ASSERT_TRUE(RunUntil([&] { return service_->RequestsTo("/api/comm/keep.e").size() >= 2; }, 5000));
  EXPECT_EQ(service_->RequestsTo("/api/comm/keep.e").back().body,
            "token=" + service_->TokenOf("alice")) << "the same login";
  EXPECT_TRUE(ui_host_.messages.empty());
  EXPECT_TRUE(window.get_visible());
  EXPECT_EQ(window.tab_strip().BrowsingTabCount(), 3);
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
