#pragma once
// Runs the GTK main loop until a condition holds, for the benchmarks that
// drive a real window: a timer wakes the loop every `tick_ms` so that the
// condition is looked at again even when nothing else happens.

#include <glibmm/main.h>

#include <chrono>
#include <functional>

namespace nuve::bench {

inline bool RunUntil(const std::function<bool()>& done, int ms, int tick_ms = 20) {
  using Clock = std::chrono::steady_clock;
  auto context = Glib::MainContext::get_default();
  auto tick = Glib::signal_timeout().connect([] { return true; }, tick_ms);
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  bool ok = done();
  while (!ok && Clock::now() < end) {
    context->iteration(true);
    ok = done();
  }
  tick.disconnect();
  return ok;
}

}  // namespace nuve::bench
