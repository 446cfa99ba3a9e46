#include "core/account/login_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "core/account/account_client.h"
#include "support/fake_account_service.h"

namespace nuve::core {
namespace {

using test::FakeAccountService;
using test::ReplyMode;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A session whose expired callback fulfils a promise the test waits on.
struct ExpiryProbe {
  std::atomic<int> calls{0};
  std::promise<void> fired;
  LoginSession::ExpiredCallback Callback() {
    return [this] {
      if (calls++ == 0) fired.set_value();
    };
  }
  bool WaitFired(milliseconds timeout) {
    return fired.get_future().wait_for(timeout) == std::future_status::ready;
  }
};

TEST(LoginSessionTest, RenewsEveryIntervalUntilARenewalFails) {
  ExpiryProbe probe;
  LoginSession session(milliseconds(20), probe.Callback());
  std::atomic<int> renewals{0};
  session.StartKeepAlive([&](std::stop_token) { return ++renewals < 4; });
  EXPECT_TRUE(probe.WaitFired(milliseconds(5000)));
  EXPECT_EQ(renewals, 4);
  // The thread ends after a failure and calls back only once.
  for (int i = 0; i < 100 && session.KeepAliveRunning(); ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_FALSE(session.KeepAliveRunning());
  EXPECT_EQ(probe.calls, 1);
}

TEST(LoginSessionTest, StopWakesTheSleepingThreadAtOnceWithoutAMessage) {
  ExpiryProbe probe;
  LoginSession session(std::chrono::minutes(10), probe.Callback());
  std::atomic<int> renewals{0};
  session.StartKeepAlive([&](std::stop_token) { return ++renewals, false; });
  session.SetToken("t");
  const auto start = Clock::now();
  session.StopKeepAlive();
  EXPECT_LT(Clock::now() - start, milliseconds(500));
  EXPECT_FALSE(session.KeepAliveRunning());
  EXPECT_EQ(renewals, 0);
  EXPECT_EQ(probe.calls, 0);
  EXPECT_EQ(session.Token(), "t");
  session.StopKeepAlive();  // nothing runs: nothing happens
}

TEST(LoginSessionTest, AStartReplacesTheRunningThread) {
  ExpiryProbe probe;
  LoginSession session(milliseconds(10), probe.Callback());
  std::atomic<int> first{0};
  std::atomic<int> second{0};
  session.StartKeepAlive([&](std::stop_token) { return ++first, true; });
  while (first == 0) std::this_thread::sleep_for(milliseconds(5));
  session.StartKeepAlive([&](std::stop_token) { return ++second, true; });
  const int first_after_restart = first;
  while (second < 3) std::this_thread::sleep_for(milliseconds(5));
  EXPECT_EQ(first, first_after_restart);
  session.StopKeepAlive();
  EXPECT_EQ(probe.calls, 0);
}

TEST(LoginSessionTest, TheExpiredCallbackMayStopTheSessionItself) {
  std::promise<void> done;
  LoginSession* self = nullptr;
  LoginSession session(milliseconds(10), [&] {
    self->StopKeepAlive();  // must neither deadlock nor crash
    done.set_value();
  });
  self = &session;
  session.StartKeepAlive([](std::stop_token) { return false; });
  EXPECT_EQ(done.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

class KeepAliveServiceTest : public ::testing::Test {
 protected:
  KeepAliveServiceTest() {
    service_.AddAccount("alice", "pw");
    client_.SetAppKey("k");
  }
  FakeAccountService service_;
  ExpiryProbe probe_;
  LoginSession session_{milliseconds(50), probe_.Callback()};
  AccountClient client_{session_, service_.host()};
};

TEST_F(KeepAliveServiceTest, RenewsWithTheTokenOfTheLastLogin) {
  ASSERT_TRUE(client_.Login("alice", "pw").IsSuccess());
  ASSERT_TRUE(service_.WaitForRequests("/api/comm/keep.e", 2, milliseconds(5000)));
  ASSERT_TRUE(client_.Login("alice", "pw").IsSuccess());  // a new token, the keep-alive restarted
  const std::string second = service_.TokenOf("alice");
  service_.ClearRequests();
  ASSERT_TRUE(service_.WaitForRequests("/api/comm/keep.e", 2, milliseconds(5000)));
  for (const auto& r : service_.RequestsTo("/api/comm/keep.e")) {
    EXPECT_EQ(r.body, "token=" + second);
    EXPECT_EQ(r.HeaderCount("Referer"), 1);
  }
  client_.StopKeepAlive();
  EXPECT_EQ(probe_.calls, 0);
}

TEST_F(KeepAliveServiceTest, AFailedRenewalCallsTheProgramBack) {
  ASSERT_TRUE(client_.Login("alice", "pw").IsSuccess());
  service_.ExpireTokens();
  EXPECT_TRUE(probe_.WaitFired(milliseconds(5000)));
}

TEST_F(KeepAliveServiceTest, AnUnreachableServiceEndsTheSessionToo) {
  ASSERT_TRUE(client_.Login("alice", "pw").IsSuccess());
  service_.SetMode("/api/comm/keep.e", ReplyMode::kServerError);
  EXPECT_TRUE(probe_.WaitFired(milliseconds(5000)));
}

TEST_F(KeepAliveServiceTest, StopEndsARenewalThatIsWaitingForTheService) {
  service_.SetMode("/api/comm/keep.e", ReplyMode::kNeverAnswer);
  ASSERT_TRUE(client_.Login("alice", "pw").IsSuccess());
  ASSERT_TRUE(service_.WaitForRequests("/api/comm/keep.e", 1, milliseconds(5000)));
  const auto start = Clock::now();
  client_.StopKeepAlive();
  EXPECT_LT(Clock::now() - start, milliseconds(500));
  EXPECT_FALSE(session_.KeepAliveRunning());
  EXPECT_EQ(probe_.calls, 0);
}

}  // namespace
}  // namespace nuve::core
