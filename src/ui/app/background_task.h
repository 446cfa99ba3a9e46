#pragma once
// Runs slow blocking work (an HTTP GET) on a worker thread and hands its
// result back to the UI thread. The owner's BackgroundTasks member makes sure
// a result that arrives after the owner is gone is dropped.

#include <functional>
#include <thread>

#include "ui/app/ui_callback.h"

namespace nuve::ui {

class BackgroundTasks {
 public:
  // `work` runs on a thread of its own and must not touch widgets; `done`
  // runs on the UI thread with its result, unless the owner died meanwhile.
  // The thread is detached: closing a window never waits for a slow server.
  template <typename T>
  void Run(std::function<T()> work, std::function<void(T)> done) {
    std::function<void(T)> deliver = callbacks_.Make(std::move(done));
    std::thread([work = std::move(work), deliver = std::move(deliver)] { deliver(work()); }).detach();
  }

 private:
  UiCallbacks callbacks_;
};

}  // namespace nuve::ui
