// Account requests of a window run off the posting thread, come back to it,
// and die with their owner. Run under ThreadSanitizer too.
#include "core/account/account_requests.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

#include "support/fake_account_service.h"
#include "support/page_server.h"
#include "support/queue_ui_poster.h"

namespace nuve::core {
namespace {

using std::chrono::milliseconds;
using test::ReplyMode;
using Clock = std::chrono::steady_clock;

class AccountRequestsTest : public ::testing::Test {
 protected:
  AccountRequestsTest() { service_.AddAccount("alice", "pw"); }

  test::FakeAccountService service_;
  test::QueueUiPoster poster_;
  std::stop_source shutdown_;
  LoginSession session_{std::chrono::minutes(10), [] {}};
  AccountClient client_{session_, service_.host(), kApplicationKey, shutdown_.get_token()};
};

TEST_F(AccountRequestsTest, RepliesComeBackAndDieWithTheirOwner) {
  TaskRunner runner(poster_);
  auto requests = std::make_unique<AccountRequests>(runner, client_);
  std::optional<ApiResponse> reply;
  requests->Send([](AccountClient& c) { return c.Login("alice", "pw"); },
                 [&](ApiResponse r) { reply = std::move(r); });
  ASSERT_EQ(poster_.WaitAndRun(milliseconds(10000)), 1);
  ASSERT_TRUE(reply.has_value());
  EXPECT_TRUE(reply->IsSuccess());
  EXPECT_NE(service_.Requests().back().body.find(std::string("appKey=") + kApplicationKey), std::string::npos)
      << "the key given when the client was built";
  client_.StopKeepAlive();

  // The owner goes away while its request waits for a slow service.
  service_.SetMode("/api/info.e", ReplyMode::kSlow);
  service_.SetSlowDelay(milliseconds(300));
  bool called = false;
  requests->Send([](AccountClient& c) { return c.GetInfo(); }, [&](ApiResponse) { called = true; });
  ASSERT_TRUE(service_.WaitForRequests("/api/info.e", 1, milliseconds(5000)));
  requests.reset();
  std::this_thread::sleep_for(milliseconds(600));
  poster_.RunPending();
  EXPECT_FALSE(called);
}

TEST_F(AccountRequestsTest, ShutdownEndsAHangingRequestAtOnce) {
  service_.SetMode("/api/info.e", ReplyMode::kNeverAnswer);
  bool called = false;
  const auto start = Clock::now();
  {
    TaskRunner runner(poster_);
    AccountRequests requests(runner, client_);
    requests.Send([](AccountClient& c) { return c.GetInfo(); }, [&](ApiResponse) { called = true; });
    ASSERT_TRUE(service_.WaitForRequests("/api/info.e", 1, milliseconds(5000)));
    shutdown_.request_stop();
  }
  EXPECT_LT(Clock::now() - start, milliseconds(3000));
  poster_.RunPending();
  EXPECT_FALSE(called);
}

TEST_F(AccountRequestsTest, PicturesGoThroughTheProxy) {
  test::CountingProxy proxy;
  TaskRunner runner(poster_);
  ReadUrlOptions options;
  options.proxy = "127.0.0.1:" + std::to_string(proxy.port());
  AccountRequests requests(runner, client_, options);
  std::string bytes = "unset";
  requests.FetchPicture("http://avatars.nuve-test.invalid/a.png", [&](std::string b) { bytes = std::move(b); });
  ASSERT_EQ(poster_.WaitAndRun(milliseconds(10000)), 1);
  EXPECT_NE(bytes.find("via proxy"), std::string::npos);
  EXPECT_EQ(proxy.Requests(), 1);
  EXPECT_EQ(proxy.LastTarget(), "http://avatars.nuve-test.invalid/a.png");

  // No address: no request and no bytes.
  requests.FetchPicture("", [&](std::string b) { bytes = std::move(b); });
  ASSERT_EQ(poster_.WaitAndRun(milliseconds(10000)), 1);
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(proxy.Requests(), 1);
}

}  // namespace
}  // namespace nuve::core
