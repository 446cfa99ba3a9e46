#pragma once
// The event pump of the program's user-interface thread: while an account
// request waits, the GLib main context goes on dispatching window events,
// so the windows stay responsive.

#include <glib.h>

#include <functional>

#include "core/account/event_pump.h"

namespace nuve::ui {

class GlibEventPump : public core::EventPump {
 public:
  // Pumps the thread-default main context of the constructing thread (the
  // default context on the user-interface thread).
  GlibEventPump();
  ~GlibEventPump() override;
  GlibEventPump(const GlibEventPump&) = delete;
  GlibEventPump& operator=(const GlibEventPump&) = delete;

  void PumpUntil(Clock::time_point deadline) override;
  void Wake() override;

  // Runs `task` once on the thread of the default main context, from an
  // idle source; callable from any thread. The program hands the session's
  // expired callback to the user-interface thread with it.
  static void PostToMainContext(std::function<void()> task);

 private:
  GMainContext* context_;
};

}  // namespace nuve::ui
