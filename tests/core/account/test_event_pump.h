#pragma once
// An event pump for tests that plays a busy user-interface thread: an
// "event" arrives every tick (as cursor blinks and frame clocks do on a real
// main context), and every handled event is counted.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "core/account/event_pump.h"

namespace nuve::test {

class TestEventPump : public core::EventPump {
 public:
  explicit TestEventPump(std::chrono::milliseconds tick = std::chrono::milliseconds(10)) : tick_(tick) {}

  void PumpUntil(Clock::time_point deadline) override {
    std::unique_lock lock(mutex_);
    const auto until = std::min(deadline, Clock::now() + tick_);
    woken_cv_.wait_until(lock, until, [this] { return woken_; });
    woken_ = false;
    lock.unlock();
    ++events_;
    if (on_event) on_event();
  }

  void Wake() override {
    std::lock_guard lock(mutex_);
    woken_ = true;
    ++wakes_;
    woken_cv_.notify_all();
  }

  int events() const { return events_; }
  int wakes() const {
    std::lock_guard lock(mutex_);
    return wakes_;
  }

  // Runs as an event handler inside the wait (set before the request).
  std::function<void()> on_event;

 private:
  const std::chrono::milliseconds tick_;
  mutable std::mutex mutex_;
  std::condition_variable woken_cv_;
  bool woken_ = false;
  int wakes_ = 0;
  std::atomic<int> events_{0};
};

}  // namespace nuve::test
