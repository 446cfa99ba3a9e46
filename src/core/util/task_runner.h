#pragma once
// Runs slow blocking work (account requests, plain GETs, the secret store)
// on worker threads and hands each result back to the user-interface thread
// through a UiPoster. The runner owns its threads: its destructor asks every
// task to stop and joins them, so no thread outlives it. A task that throws
// is logged and delivers the default value of its result type, which for
// every result the program uses (ApiResponse, text, bytes) reads as a failure.

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

#include "core/util/task_scope.h"
#include "core/util/ui_poster.h"

namespace nuve::core {

class TaskRunner {
 public:
  explicit TaskRunner(UiPoster& poster);
  // Asks every running task to stop and waits for all of them.
  ~TaskRunner();
  TaskRunner(const TaskRunner&) = delete;
  TaskRunner& operator=(const TaskRunner&) = delete;

  // Runs `work` on a thread of its own. Its stop token fires when `scope`
  // is cancelled or the runner shuts down. Unless the scope was cancelled
  // meanwhile, `done` then runs on the user-interface thread with the result.
  template <typename T>
  void Run(TaskScope& scope, std::function<T(std::stop_token)> work, std::function<void(T)> done = {}) {
    Start(scope, [work = std::move(work), done = std::move(done)](std::stop_token stop) -> Delivery {
      T result = Guarded<T>(work, stop);
      if (!done) return {};
      return [done, result = std::move(result)]() mutable { done(std::move(result)); };
    });
  }
  // Work without a result for the user-interface thread.
  void Run(TaskScope& scope, std::function<void(std::stop_token)> work);

  // Threads started and not yet joined (finished ones are joined when the
  // next task starts).
  std::size_t ThreadCount() const;
  // Tasks whose work has not finished yet (their results may still be on
  // their way to the user-interface thread).
  std::size_t BusyCount() const;

 private:
  using Delivery = std::function<void()>;
  using Job = std::function<Delivery(std::stop_token)>;
  struct Worker;

  template <typename T>
  static T Guarded(const std::function<T(std::stop_token)>& work, std::stop_token stop) {
    T result{};
    GuardedCall([&] { result = work(stop); });
    return result;
  }
  // Runs `call`, logging anything it throws.
  static void GuardedCall(const std::function<void()>& call);

  void Start(TaskScope& scope, Job job);
  void Deliver(const std::shared_ptr<TaskScope::State>& scope, Delivery delivery);
  void ReapFinished();  // with mutex_ held

  UiPoster& poster_;
  mutable std::mutex mutex_;
  bool shutting_down_ = false;
  std::list<Worker> workers_;
};

}  // namespace nuve::core
