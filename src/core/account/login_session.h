#pragma once
// The login that all account clients share: the token the last login
// received and the keep-alive thread that renews it. The application context
// owns one session and hands it to every AccountClient by reference.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace nuve::core {

class LoginSession {
 public:
  // Sends one renewal of the login and says whether the service accepted
  // it. A stop request on the token must end a renewal in progress quickly.
  using Renewal = std::function<bool(std::stop_token)>;
  // Called once, on the keep-alive thread, when a renewal fails; the session
  // is then gone. The program hands it over to its UI thread (an idle
  // source), tells the user and ends.
  using ExpiredCallback = std::function<void()>;

  LoginSession(std::chrono::milliseconds keepalive_interval, ExpiredCallback on_expired);
  // Stops the keep-alive thread, if one runs.
  ~LoginSession();
  LoginSession(const LoginSession&) = delete;
  LoginSession& operator=(const LoginSession&) = delete;

  // The login token; "" until a login stores one. Safe from any thread.
  std::string Token() const;
  void SetToken(std::string token);

  // Ends a running keep-alive thread and starts a new one that calls `renew`
  // once every keep-alive interval, first after one interval.
  void StartKeepAlive(Renewal renew);
  // Wakes the keep-alive thread and ends it at once, even inside a renewal,
  // without calling the expired callback. The token keeps its value. Does
  // nothing when no thread runs.
  void StopKeepAlive();
  // True while a keep-alive thread runs (it ends by itself after a failure).
  bool KeepAliveRunning() const;

  std::chrono::milliseconds KeepAliveInterval() const { return interval_; }

 private:
  // Joins a keep-alive thread that stopped itself, unless that is the caller.
  void JoinRetired();
  void KeepAliveLoop(std::stop_token stop, const Renewal& renew, const ExpiredCallback& on_expired);

  const std::chrono::milliseconds interval_;
  const ExpiredCallback on_expired_;

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
