#pragma once
// A UiPoster for core tests: posted tasks wait in a queue until the test's
// own thread, playing the user-interface thread, runs them.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "core/util/ui_poster.h"

namespace nuve::test {

class QueueUiPoster : public core::UiPoster {
 public:
  void Post(std::function<void()> task) override {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    posted_.notify_all();
  }

  // Runs every task posted so far on the calling thread; returns how many.
  int RunPending() {
    std::deque<std::function<void()>> tasks;
    {
      std::lock_guard lock(mutex_);
      tasks.swap(tasks_);
    }
    for (auto& task : tasks) task();
    return static_cast<int>(tasks.size());
  }

  // Waits up to `timeout` for a task, then runs what is there.
  int WaitAndRun(std::chrono::milliseconds timeout) {
    {
      std::unique_lock lock(mutex_);
      posted_.wait_for(lock, timeout, [this] { return !tasks_.empty(); });
    }
    return RunPending();
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace nuve::test
