#pragma once
// Runs a handler called from C code (a GLib signal trampoline, an async
// callback): nothing may unwind into GLib's frames, so every exception is
// caught and logged, and a value-returning handler then gives its type's
// default value.

#include <exception>

#include "core/app/log.h"

namespace nuve::ui {

template <typename F>
auto Guard(const char* where, F&& f) noexcept -> decltype(f()) {
  try {
    return f();
  } catch (const std::exception& e) {
    core::LogError(where, e.what());
  } catch (...) {
    core::LogError(where, "unknown exception");
  }
  return decltype(f())();
}

}  // namespace nuve::ui
