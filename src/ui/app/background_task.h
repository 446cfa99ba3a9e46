#pragma once
// Runs slow blocking work (an HTTP GET) on a worker thread and hands its
// result back to the UI thread. The owner's BackgroundTasks member makes sure
// a result that arrives after the owner is gone is dropped.


#include <functional>
#include <memory>
#include <thread>

#include "ui/app/glib_event_pump.h"

namespace nuve::ui {

class BackgroundTasks {
 public:
  BackgroundTasks() = default;
  ~BackgroundTasks() { *alive_ = false; }
  BackgroundTasks(const BackgroundTasks&) = delete;
  BackgroundTasks& operator=(const BackgroundTasks&) = delete;

  // `work` runs on a thread of its own and must not touch widgets; `done`
  // runs on the UI thread with its result, unless the owner died meanwhile.
  // The thread is detached: closing a window never waits for a slow server.
  template <typename T>
  void Run(std::function<T()> work, std::function<void(T)> done) {
    std::shared_ptr<bool> alive = alive_;  // read and written on the UI thread only
    std::thread([work = std::move(work), done = std::move(done), alive]() mutable {
      // An idle source runs on the UI thread. (MainContext::invoke would run
      // `done` right here on the worker whenever the UI thread happens not
      // to hold the context.)
      GlibEventPump::PostToMainContext([done = std::move(done), alive, result = work()]() mutable {
        if (*alive) done(std::move(result));
      });
    }).detach();
  }

 private:
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nuve::ui
