#pragma once
// What a thread that waits for an account request does with its own events.
// The program's user-interface thread keeps its windows alive while it waits
// (the GLib main context, see ui/app/glib_event_pump.h); tests supply their
// own pump, and a thread without events (the keep-alive) passes none at all.

#include <chrono>

namespace nuve::core {

class EventPump {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~EventPump() = default;

  // Handles pending events and waits for more, returning once at least one
  // has been handled, Wake() was called, or `deadline` has passed. It may
  // return earlier; callers loop and check their own condition.
  virtual void PumpUntil(Clock::time_point deadline) = 0;

  // Makes a PumpUntil that is running (or the next one to start) return
  // soon. Safe to call from any thread.
  virtual void Wake() = 0;
};

}  // namespace nuve::core
