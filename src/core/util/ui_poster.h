#pragma once
// How work that ran off the user-interface thread gets back onto it. The
// window layer implements it with an idle source on the default main
// context; core tests collect the tasks and run them when they choose.

#include <functional>

namespace nuve::core {

class UiPoster {
 public:
  virtual ~UiPoster() = default;
  // Runs `task` once on the user-interface thread, later, never inside this
  // call. Callable from any thread.
  virtual void Post(std::function<void()> task) = 0;
};

}  // namespace nuve::core
