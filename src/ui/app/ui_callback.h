#pragma once
// Results of work on other threads (the history's worker, say) come back to
// the UI thread through callbacks made here, bound to their owner's
// TaskScope: once the owner is gone, a late result is dropped instead of
// reaching a destroyed window.

#include <functional>
#include <utility>

#include "core/util/task_scope.h"
#include "ui/app/glib_ui_poster.h"

namespace nuve::ui {

// A callback callable from any thread that runs `f` on the UI thread with
// its arguments, unless `scope` ended (or was renewed) meanwhile.
template <typename... Args>
std::function<void(Args...)> UiCallback(const core::TaskScope& scope, std::function<void(Args...)> f) {
  return [bound = scope.Bind(std::move(f))](Args... args) {
    // An idle source runs on the UI thread. (MainContext::invoke would run
    // the callback right here on the worker whenever the UI thread happens
    // not to hold the context.)
    GlibUiPoster().Post([bound, args...]() mutable { bound(std::move(args)...); });
  };
}

}  // namespace nuve::ui
