#pragma once
// An in-memory secret store for the tests of the remembered login; it can
// play an unreachable store and a slow one.

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "core/account/password_store.h"

namespace nuve::test {

class FakePasswordStore : public core::PasswordStore {
 public:
  std::optional<std::string> Lookup(const std::string& key, std::stop_token) override {
    Pause();
    std::lock_guard lock(mutex_);
    if (!reachable) return std::nullopt;
    const auto it = kept_.find(key);
    return it == kept_.end() ? std::string() : it->second;
  }
  bool Store(const std::string& key, const std::string&, const std::string& password, std::stop_token) override {
    Pause();
    std::lock_guard lock(mutex_);
    if (!reachable) return false;
    kept_[key] = password;
    return true;
  }
  bool Clear(const std::string& key, std::stop_token) override {
    Pause();
    std::lock_guard lock(mutex_);
    if (!reachable) return false;
    kept_.erase(key);
    return true;
  }
  std::string Kept(const std::string& key) {
    std::lock_guard lock(mutex_);
    return kept_.count(key) > 0 ? kept_[key] : std::string("<none>");
  }

  std::atomic<bool> reachable{true};
  std::atomic<int> pause_ms{0};

 private:
  void Pause() {
    if (pause_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
  }
  std::mutex mutex_;
  std::map<std::string, std::string> kept_;
};

}  // namespace nuve::test
