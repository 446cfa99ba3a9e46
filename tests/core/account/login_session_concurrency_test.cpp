// Login replacing the token and restarting the keep-alive while the
// keep-alive thread reads the token and renews. Run under ThreadSanitizer.
// The first tests renew with the test's own code, so every access TSan
// watches is the session's; the last one goes through the real client and
// the fake service.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "core/account/account_client.h"
#include "core/account/login_session.h"
#include "support/fake_account_service.h"

namespace nuve::core {
namespace {

using std::chrono::milliseconds;

TEST(LoginSessionConcurrencyTest, LoginRacesTheKeepAlive) {
  std::atomic<int> expired{0};
  LoginSession session(milliseconds(1), [&] { ++expired; });
  std::atomic<int> renewals{0};
  std::atomic<bool> torn{false};
  auto renew = [&](std::stop_token) {
    const std::string token = session.Token();
    // Every token written is "tok-" followed by one repeated digit.
    if (!token.empty() && (token.rfind("tok-", 0) != 0 || token.find_first_not_of(token.back(), 4) != std::string::npos)) {
      torn = true;
    }
    ++renewals;
    return RenewalResult::kRenewed;
  };
  for (int round = 0; round < 200; ++round) {
    // What Login does: store the token, then restart the keep-alive.
    session.SetToken("tok-" + std::string(64, static_cast<char>('0' + round % 10)));
    if (round % 4 == 0) session.StartKeepAlive(renew);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (round % 25 == 0) session.StopKeepAlive();
  }
  // A busy machine may have restarted the keep-alive before each first
  // renewal: let one renewal through before judging.
  session.StartKeepAlive(renew);
  for (int waited = 0; renewals == 0 && waited < 10000; ++waited) std::this_thread::sleep_for(milliseconds(1));
  session.StopKeepAlive();
  EXPECT_FALSE(torn);
  EXPECT_GT(renewals, 0);
  EXPECT_EQ(expired, 0);
}

TEST(LoginSessionConcurrencyTest, StopFromTwoThreadsWhileTheRenewalFails) {
  for (int round = 0; round < 50; ++round) {
    std::atomic<int> expired{0};
    LoginSession session(milliseconds(1), [&] { ++expired; });
    session.StartKeepAlive(
        [&](std::stop_token) { return round % 2 == 0 ? RenewalResult::kRenewed : RenewalResult::kRefused; });
    std::thread other([&] { session.StopKeepAlive(); });
    session.StopKeepAlive();
    other.join();
    EXPECT_FALSE(session.KeepAliveRunning());
    EXPECT_LE(expired, 1);
  }
}

// The expired callback may stop (and restart) the keep-alive from the
// keep-alive thread itself; that thread is still joined, never left running
// past the session.
TEST(LoginSessionConcurrencyTest, AThreadThatStopsItselfIsJoinedByTheSession) {
  for (int round = 0; round < 20; ++round) {
    std::atomic<bool> callback_done{false};
    std::atomic<int> expired{0};
    {
      std::unique_ptr<LoginSession> session;
      session = std::make_unique<LoginSession>(milliseconds(1), [&] {
        session->StopKeepAlive();
        if (++expired == 1 && round % 2 == 1) {
          session->StartKeepAlive([](std::stop_token) { return RenewalResult::kRefused; });
        }
        std::this_thread::sleep_for(milliseconds(20));
        callback_done = true;
      });
      session->StartKeepAlive([](std::stop_token) { return RenewalResult::kRefused; });
      while (expired == 0) std::this_thread::sleep_for(milliseconds(1));
      if (round % 3 == 0) session->StopKeepAlive();
    }
    EXPECT_TRUE(callback_done) << "round " << round;
  }
}

TEST(LoginSessionConcurrencyTest, ClientLoginsRaceTheirOwnKeepAlive) {
  test::FakeAccountService service;
  service.AddAccount("alice", "pw");
  std::atomic<int> expired{0};
  LoginSession session(milliseconds(2), [&] { ++expired; });
  AccountClient login_client(session, service.host());
  AccountClient other_client(session, service.host());
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(login_client.Login("alice", "pw").IsSuccess());
    other_client.GetInfo();  // reads the token the keep-alive reads too
  }
  EXPECT_TRUE(service.WaitForRequests("/api/comm/keep.e", 1, milliseconds(5000)));
  other_client.StopKeepAlive();
  EXPECT_EQ(expired, 0);
  EXPECT_EQ(session.Token(), service.TokenOf("alice"));
}

}  // namespace
}  // namespace nuve::core
