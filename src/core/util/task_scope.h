#pragma once
// The lifetime of the callbacks one owner (a window) asked a TaskRunner for.
// The owner keeps a TaskScope as a member; when the scope goes away (or is
// cancelled) every result that has not reached the owner yet is dropped,
// and the work still running is asked to stop. A dropped result never calls
// back, so a callback may use its owner freely.

#include <atomic>
#include <memory>
#include <stop_token>

namespace nuve::core {

class TaskScope {
 public:
  TaskScope() : state_(std::make_shared<State>()) {}
  ~TaskScope() { Cancel(); }
  TaskScope(const TaskScope&) = delete;
  TaskScope& operator=(const TaskScope&) = delete;

  // Drops every result not delivered yet and asks running work to stop.
  // Later tasks started in this scope are dropped as well.
  void Cancel() {
    state_->alive = false;
    state_->stop.request_stop();
  }
  bool alive() const { return state_->alive; }

  // Shared with the tasks of the scope, which outlive it.
  struct State {
    std::atomic<bool> alive{true};
    std::stop_source stop;
  };
  const std::shared_ptr<State>& state() const { return state_; }

 private:
  std::shared_ptr<State> state_;
};

}  // namespace nuve::core
