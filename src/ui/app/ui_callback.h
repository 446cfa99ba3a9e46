#pragma once
// Results of work on other threads (the history's worker, say) come back to
// the UI thread through callbacks made here. The owner keeps a UiCallbacks
// member: once the owner is gone, a late result is dropped instead of
// reaching a destroyed window.

#include <functional>
#include <memory>
#include <utility>

#include "ui/app/glib_ui_poster.h"

namespace nuve::ui {

class UiCallbacks {
 public:
  UiCallbacks() = default;
  ~UiCallbacks() { *alive_ = false; }
  UiCallbacks(const UiCallbacks&) = delete;
  UiCallbacks& operator=(const UiCallbacks&) = delete;

  // A callback callable from any thread that runs `f` on the UI thread with
  // its arguments, unless the owner died meanwhile.
  template <typename... Args>
  std::function<void(Args...)> Make(std::function<void(Args...)> f) {
    std::shared_ptr<bool> alive = alive_;  // read and written on the UI thread only
    return [alive, f = std::move(f)](Args... args) {
      // An idle source runs on the UI thread. (MainContext::invoke would run
      // the callback right here on the worker whenever the UI thread happens
      // not to hold the context.)
      GlibUiPoster().Post([alive, f, args...]() mutable {
        if (*alive) f(std::move(args)...);
      });
    };
  }

 private:
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nuve::ui
