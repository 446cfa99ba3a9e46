#include "core/util/task_runner.h"

#include <atomic>
#include <exception>
#include <system_error>

#include "core/app/log.h"

namespace nuve::core {

struct TaskRunner::Worker {
  std::jthread thread;
  std::shared_ptr<std::atomic<bool>> finished;
};

TaskRunner::TaskRunner(UiPoster& poster) : poster_(poster) {}

TaskRunner::~TaskRunner() {
  std::list<Worker> workers;
  {
    std::lock_guard lock(mutex_);
    shutting_down_ = true;
    workers.swap(workers_);
  }
  for (Worker& w : workers) w.thread.request_stop();
  // The jthreads join as the list goes away.
}

void TaskRunner::Run(TaskScope& scope, std::function<void(std::stop_token)> work) {
  Start(scope, [work = std::move(work)](std::stop_token stop) -> Delivery {
    GuardedCall([&] { work(stop); });
    return {};
  });
}

std::size_t TaskRunner::ThreadCount() const {
  std::lock_guard lock(mutex_);
  return workers_.size();
}

std::size_t TaskRunner::BusyCount() const {
  std::lock_guard lock(mutex_);
  std::size_t busy = 0;
  for (const Worker& w : workers_) busy += w.finished->load() ? 0 : 1;
  return busy;
}

void TaskRunner::GuardedCall(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    LogError("task", e.what());
  } catch (...) {
    LogError("task", "unknown exception");
  }
}

void TaskRunner::Start(TaskScope& scope, Job job) {
  std::shared_ptr<TaskScope::State> state = scope.state();
  if (!state->alive) return;
  std::lock_guard lock(mutex_);
  if (shutting_down_) return;
  ReapFinished();
  auto finished = std::make_shared<std::atomic<bool>>(false);
  try {
    std::jthread thread([this, state, job = std::move(job), finished](std::stop_token runner_stop) {
      // The work stops when the runner shuts down or its scope is cancelled.
      std::stop_source task_stop;
      std::stop_callback on_runner_stop(runner_stop, [&task_stop] { task_stop.request_stop(); });
      std::stop_callback on_scope_stop(state->stop.get_token(), [&task_stop] { task_stop.request_stop(); });
      Delivery delivery;
      GuardedCall([&] { delivery = job(task_stop.get_token()); });
      if (delivery && !runner_stop.stop_requested()) Deliver(state, std::move(delivery));
      *finished = true;
    });
    workers_.push_back({std::move(thread), finished});
  } catch (const std::system_error& e) {
    LogError("task", std::string("cannot start a worker thread: ") + e.what());
  }
}

void TaskRunner::Deliver(const std::shared_ptr<TaskScope::State>& scope, Delivery delivery) {
  poster_.Post([scope, delivery = std::move(delivery)] {
    // Checked on the user-interface thread, where scopes are cancelled.
    if (scope->alive) GuardedCall(delivery);
  });
}

void TaskRunner::ReapFinished() {
  workers_.remove_if([](const Worker& w) { return w.finished->load(); });
}

}  // namespace nuve::core
