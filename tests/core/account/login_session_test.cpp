#include "core/account/login_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <vector>

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

TEST(LoginSessionTest, RenewsEveryIntervalUntilTheServiceRefuses) {
  ExpiryProbe probe;
  LoginSession session(milliseconds(20), probe.Callback());
  std::atomic<int> renewals{0};
  session.StartKeepAlive(
      [&](std::stop_token) { return ++renewals < 4 ? RenewalResult::kRenewed : RenewalResult::kRefused; });
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
  session.StartKeepAlive([&](std::stop_token) { return ++renewals, RenewalResult::kRefused; });
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
  session.StartKeepAlive([&](std::stop_token) { return ++first, RenewalResult::kRenewed; });
  while (first == 0) std::this_thread::sleep_for(milliseconds(5));
  session.StartKeepAlive([&](std::stop_token) { return ++second, RenewalResult::kRenewed; });
  const int first_after_restart = first;
  while (second < 3) std::this_thread::sleep_for(milliseconds(5));
  EXPECT_EQ(first, first_after_restart);
  session.StopKeepAlive();
  EXPECT_EQ(probe.calls, 0);
}

// Retries after 15 s, 30 s, 60 s ... up to the interval; an interval shorter
// than the first retry is the wait throughout.
TEST(LoginSessionTest, RetriesWaitTwiceAsLongEachTimeUpToTheInterval) {
  LoginSession normal(milliseconds(240'000), [] {});
  std::vector<long> waits;
  for (int failures = 1; failures <= 6; ++failures) waits.push_back(normal.RetryWait(failures).count());
  EXPECT_EQ(waits, (std::vector<long>{15'000, 30'000, 60'000, 120'000, 240'000, 240'000}));
  LoginSession short_interval(milliseconds(200), [] {});
  EXPECT_EQ(short_interval.RetryWait(1), milliseconds(200));
  EXPECT_EQ(short_interval.RetryWait(5), milliseconds(200));
  LoginSession scaled(milliseconds(1000), [] {}, milliseconds(100));
  EXPECT_EQ(scaled.RetryWait(3), milliseconds(400));
}

TEST(LoginSessionTest, AServiceOutOfReachIsTriedAgainSoonerAndTheLoginLives) {
  ExpiryProbe probe;
  const auto interval = milliseconds(300);
  LoginSession session(interval, probe.Callback(), milliseconds(10));
  std::atomic<int> renewals{0};
  std::mutex mutex;
  std::vector<Clock::time_point> at;
  session.StartKeepAlive([&](std::stop_token) {
    {
      std::lock_guard lock(mutex);
      at.push_back(Clock::now());
    }
    return ++renewals <= 5 ? RenewalResult::kUnreachable : RenewalResult::kRenewed;
  });
  for (int i = 0; i < 1000 && (renewals < 6 || session.FailedRenewals() != 0); ++i) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  ASSERT_GE(renewals, 6);
  EXPECT_EQ(session.FailedRenewals(), 0) << "a success goes back to the usual rhythm";
  EXPECT_TRUE(session.KeepAliveRunning());
  EXPECT_EQ(probe.calls, 0) << "no word to the user while the service is out of reach";
  std::lock_guard lock(mutex);
  // Five failures retried after 10, 20, 40, 80 and 160 ms, where waiting an
  // interval each time would take 1.5 s.
  EXPECT_LT(at[1] - at[0], interval);
  EXPECT_LT(at[5] - at[0], 5 * interval);
}

TEST(LoginSessionTest, TheExpiredCallbackMayStopTheSessionItself) {
  std::promise<void> done;
  LoginSession* self = nullptr;
  LoginSession session(milliseconds(10), [&] {
    self->StopKeepAlive();  // must neither deadlock nor crash
    done.set_value();
  });
  self = &session;
  session.StartKeepAlive([](std::stop_token) { return RenewalResult::kRefused; });
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

// Only the service's refusal of the token ends the login: a server error, a
// dropped connection, a page that is not the envelope and "busy" (code 5)
// are tried again, and the login lives on once the service answers.
TEST_F(KeepAliveServiceTest, FailuresToReachTheServiceAreRetriedAndOnlyARefusalEndsTheLogin) {
  ASSERT_TRUE(client_.Login("alice", "pw").IsSuccess());
  for (const ReplyMode mode : {ReplyMode::kServerError, ReplyMode::kDrop, ReplyMode::kMalformedJson,
                               ReplyMode::kEmptyBody, ReplyMode::kCustom}) {
    service_.SetCustomReply("/api/comm/keep.e", R"({"code":5,"result":false,"message":"服务繁忙，请稍后再试"})");
    service_.SetMode("/api/comm/keep.e", mode);
    service_.ClearRequests();
    ASSERT_TRUE(service_.WaitForRequests("/api/comm/keep.e", 3, milliseconds(5000))) << static_cast<int>(mode);
    for (int i = 0; i < 200 && session_.FailedRenewals() < 2; ++i) std::this_thread::sleep_for(milliseconds(5));
    EXPECT_GE(session_.FailedRenewals(), 2) << static_cast<int>(mode);
    EXPECT_EQ(probe_.calls, 0) << static_cast<int>(mode);
    EXPECT_TRUE(session_.KeepAliveRunning());
  }
  service_.SetMode("/api/comm/keep.e", ReplyMode::kNormal);
  for (int i = 0; i < 400 && session_.FailedRenewals() != 0; ++i) std::this_thread::sleep_for(milliseconds(5));
  EXPECT_EQ(session_.FailedRenewals(), 0);
  service_.ExpireTokens();
  EXPECT_TRUE(probe_.WaitFired(milliseconds(5000)));
  EXPECT_FALSE(session_.KeepAliveRunning());
}

TEST(RenewalResultTest, OnlyTheServicesRefusalOfTheTokenEndsTheLogin) {
  const ApiResponse refused(R"({"code":2,"result":false,"message":"登录已过期，请重新登录","responseBody":null})");
  const ApiResponse busy(R"({"code":5,"result":false,"message":"服务繁忙，请稍后再试"})");
  const ApiResponse renewed(R"({"code":0,"result":true,"message":"ok"})");
  EXPECT_EQ(RenewalResultOf(200, renewed), RenewalResult::kRenewed);
  EXPECT_EQ(RenewalResultOf(200, refused), RenewalResult::kRefused);
  EXPECT_EQ(RenewalResultOf(403, refused), RenewalResult::kRefused);
  EXPECT_EQ(RenewalResultOf(200, busy), RenewalResult::kUnreachable);
  EXPECT_EQ(RenewalResultOf(503, refused), RenewalResult::kUnreachable) << "a 5xx is the service failing";
  EXPECT_EQ(RenewalResultOf(0, ApiResponse("")), RenewalResult::kUnreachable) << "no reply at all";
  EXPECT_EQ(RenewalResultOf(200, ApiResponse("<html>Wi-Fi login</html>")), RenewalResult::kUnreachable);
  EXPECT_EQ(RenewalResultOf(200, ApiResponse(R"({"code":2,"result":fal)")), RenewalResult::kUnreachable)
      << "a reply cut short";
  EXPECT_EQ(HttpStatusOf("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 503 Service Unavailable\r\n"), 503);
  EXPECT_EQ(HttpStatusOf("HTTP/2 200\r\n"), 200);
  EXPECT_EQ(HttpStatusOf(""), 0);
  EXPECT_EQ(HttpStatusOf(std::string(1024, ' ')), 0);
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
