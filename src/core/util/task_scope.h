#pragma once
// The one way late results are dropped in NUVE: a lifetime token that its
// owner (a window, a section, a tab strip) keeps as a member. Work on a
// TaskRunner, a history answer, an idle or timer callback: whatever may come
// back after its owner is gone is bound to the owner's scope, and when the
// scope goes away (or is cancelled) everything bound to it that has not run
// yet is dropped, and work still running is asked to stop through the
// scope's stop token. A dropped callback never runs, so a callback may use
// its owner freely.
//
// The scope is checked where the callback runs: callbacks that touch the
// owner run on the thread that ends the scope (the user-interface thread);
// a worker's result reaches that thread first (TaskRunner, UiCallback).

#include <atomic>
#include <memory>
#include <stop_token>
#include <utility>

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
  // Drops what is bound so far, like Cancel, and starts afresh: what is
  // bound from now on runs as usual. For requests that a newer one makes
  // moot (the next key typed into the address box).
  void Renew() {
    Cancel();
    state_ = std::make_shared<State>();
  }
  bool alive() const { return state_->alive; }
  // Stops when the scope is cancelled or renewed.
  std::stop_token stop_token() const { return state_->stop.get_token(); }

  // `f`, to be run later: the callable returned calls `f` with its
  // arguments while this scope (as it is now) lives, and does nothing once
  // it has been cancelled, renewed or destroyed.
  template <typename F>
  auto Bind(F f) const {
    return [state = state_, f = std::move(f)](auto&&... args) mutable {
      if (state->alive) f(std::forward<decltype(args)>(args)...);
    };
  }

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
