#pragma once
// The login that all account clients share: the token the last login
// received and the keep-alive thread that renews it. The application context
// owns one session and hands it to every AccountClient by reference.
//
// Only the service's word that the token is no longer valid ends the login.
// When the service cannot be reached (no connection, a time-out, a server
// error, the service busy), the renewal is tried again after 15 s, 30 s,
// 60 s and so on up to the keep-alive interval, without a word to the user:
// a Wi-Fi reconnect or a restart of the service keeps the login. A renewal
// that succeeds goes back to the usual rhythm.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace nuve::core {

// What one renewal of the login came to.
enum class RenewalResult {
  kRenewed,      // the service accepted the token
  kRefused,      // the service said the token is no longer valid
  kUnreachable,  // no answer, or not one about the token: try again later
};

// The first wait after a renewal could not reach the service.
inline constexpr std::chrono::milliseconds kFirstRenewalRetry{15'000};

class LoginSession {
 public:
  // Sends one renewal of the login and says what came of it. A stop request
  // on the token must end a renewal in progress quickly.
  using Renewal = std::function<RenewalResult(std::stop_token)>;
  // Called once, on the keep-alive thread, when the service refused a
  // renewal; the session is then gone. The program hands it over to its UI
  // thread (an idle source), which ends the login and tells the user.
  using ExpiredCallback = std::function<void()>;

  // `first_retry` is the wait after the first renewal that did not reach
  // the service; each further one doubles it, up to the interval (tests
  // shorten it).
  LoginSession(std::chrono::milliseconds keepalive_interval, ExpiredCallback on_expired,
               std::chrono::milliseconds first_retry = kFirstRenewalRetry);
  // Stops the keep-alive thread, if one runs.
  ~LoginSession();
  LoginSession(const LoginSession&) = delete;
  LoginSession& operator=(const LoginSession&) = delete;

  // The login token; "" until a login stores one. Safe from any thread.
  std::string Token() const;
  void SetToken(std::string token);

  // Ends a running keep-alive thread and starts a new one that calls `renew`
  // once every keep-alive interval, first after one interval, and sooner
  // again after a renewal that did not reach the service.
  void StartKeepAlive(Renewal renew);
  // Wakes the keep-alive thread and ends it at once, even inside a renewal,
  // without calling the expired callback. The token keeps its value. Does
  // nothing when no thread runs.
  void StopKeepAlive();
  // True while a keep-alive thread runs (it ends by itself once the service
  // refused the token).
  bool KeepAliveRunning() const;
  // How many renewals in a row did not reach the service (0 after one that
  // did).
  int FailedRenewals() const { return failed_renewals_; }

  std::chrono::milliseconds KeepAliveInterval() const { return interval_; }
  // The wait before the next try after `failures` renewals in a row did not
  // reach the service: the first retry, doubled each time, at most the
  // interval.
  std::chrono::milliseconds RetryWait(int failures) const;

 private:
  // Joins a keep-alive thread that stopped itself, unless that is the caller.
  void JoinRetired();
  void KeepAliveLoop(std::stop_token stop, const Renewal& renew, const ExpiredCallback& on_expired);

  const std::chrono::milliseconds interval_;
  const std::chrono::milliseconds first_retry_;
  const ExpiredCallback on_expired_;
  std::atomic<int> failed_renewals_{0};

  mutable std::mutex token_mutex_;
  std::string token_;

  // Guards thread_ against concurrent Start/Stop calls; never taken by the
  // keep-alive thread itself, so joining under it cannot deadlock.
  mutable std::mutex thread_mutex_;
  std::jthread thread_;
  // A keep-alive thread that stopped itself and still waits to be joined.
  std::jthread retired_;
  std::atomic<bool> running_{false};

  std::mutex sleep_mutex_;
  std::condition_variable_any sleep_cv_;
};

}  // namespace nuve::core
