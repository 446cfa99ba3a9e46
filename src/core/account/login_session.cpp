#include "core/account/login_session.h"

#include <algorithm>
#include <string>

#include "core/app/log.h"

namespace nuve::core {

LoginSession::LoginSession(std::chrono::milliseconds keepalive_interval, ExpiredCallback on_expired,
                           std::chrono::milliseconds first_retry)
    : interval_(keepalive_interval), first_retry_(first_retry), on_expired_(std::move(on_expired)) {}

std::chrono::milliseconds LoginSession::RetryWait(int failures) const {
  auto wait = std::min(first_retry_, interval_);
  for (int i = 1; i < failures && wait < interval_; ++i) wait = std::min(wait * 2, interval_);
  return std::max(wait, std::chrono::milliseconds(1));
}

LoginSession::~LoginSession() {
  // Until no keep-alive thread is left: one that stopped itself may still
  // run its callback, and that callback may have started another.
  while (true) {
    StopKeepAlive();
    std::jthread retired;
    {
      std::lock_guard lock(thread_mutex_);
      if (!thread_.joinable() && !retired_.joinable()) break;
      retired = std::move(retired_);
    }
    if (retired.joinable() && retired.get_id() == std::this_thread::get_id()) {
      // The expired callback destroyed the session on the keep-alive thread
      // itself, which nothing can join; the program hands that callback to
      // its UI thread, so this is a mistake, told loudly.
      LogError("login-session", "the session was destroyed by its own keep-alive thread");
      retired.detach();
      break;
    }
    // Otherwise `retired` joins here.
  }
}

std::string LoginSession::Token() const {
  std::lock_guard lock(token_mutex_);
  return token_;
}

void LoginSession::SetToken(std::string token) {
  std::lock_guard lock(token_mutex_);
  token_ = std::move(token);
}

void LoginSession::StartKeepAlive(Renewal renew) {
  StopKeepAlive();
  std::lock_guard lock(thread_mutex_);
  running_ = true;
  // The thread keeps its own copy of the callback: the callback may end the
  // session (and the program may then destroy it) while it still runs.
  thread_ = std::jthread([this, renew = std::move(renew), on_expired = on_expired_](std::stop_token stop) {
    KeepAliveLoop(stop, renew, on_expired);
  });
}

void LoginSession::StopKeepAlive() {
  std::jthread thread;
  {
    std::lock_guard lock(thread_mutex_);
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
      // Called from the keep-alive thread itself (from the expired
      // callback): it cannot join itself. It leaves its loop as soon as this
      // returns and is joined by the next start or stop, or by the
      // destructor; it moves to retired_ under the same lock, so that the
      // destructor never misses it.
      thread_.request_stop();
      retired_ = std::move(thread_);
      return;
    }
    thread = std::move(thread_);
  }
  if (!thread.joinable()) return;
  thread.request_stop();  // wakes the sleep and cancels a renewal in progress
  thread.join();
  JoinRetired();
}

void LoginSession::JoinRetired() {
  std::jthread retired;
  {
    std::lock_guard lock(thread_mutex_);
    if (retired_.get_id() == std::this_thread::get_id()) return;  // still inside it
    retired = std::move(retired_);
  }
  // `retired`, a keep-alive thread that stopped itself, joins here.
}

bool LoginSession::KeepAliveRunning() const { return running_; }

void LoginSession::KeepAliveLoop(std::stop_token stop, const Renewal& renew,
                                 const ExpiredCallback& on_expired) {
  int failures = 0;
  failed_renewals_ = 0;
  while (true) {
    const auto wait = failures == 0 ? interval_ : RetryWait(failures);
    {
      std::unique_lock lock(sleep_mutex_);
      // Returns early only for a stop request; there is nothing else to wait for.
      sleep_cv_.wait_for(lock, stop, wait, [] { return false; });
    }
    if (stop.stop_requested()) break;
    const RenewalResult result = renew ? renew(stop) : RenewalResult::kRefused;
    if (stop.stop_requested()) break;  // a stopped renewal is no expired session
    if (result == RenewalResult::kRenewed) {
      if (failures > 0) LogWarning("login-session", "the service answers again; the login is renewed");
      failures = 0;
    } else if (result == RenewalResult::kUnreachable) {
      ++failures;
      LogWarning("login-session", "the login could not be renewed (the service did not answer); trying again in " +
                                      std::to_string(RetryWait(failures).count()) + " ms");
    } else {
      LogWarning("login-session", "the service no longer accepts the login; the session has expired");
      running_ = false;
      failed_renewals_ = failures;
      // Nothing of the session is touched after this call.
      if (on_expired) on_expired();
      return;
    }
    failed_renewals_ = failures;
  }
  running_ = false;
}

}  // namespace nuve::core
