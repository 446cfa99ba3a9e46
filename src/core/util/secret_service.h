#pragma once
// What every call to the desktop's secret store needs: whether the session
// names a bus at all, and a GCancellable that follows a stop token.

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <stop_token>

namespace nuve::core {

// Whether the session names a bus (DBUS_SESSION_BUS_ADDRESS, or a bus
// socket in $XDG_RUNTIME_DIR). Without one GLib would start a bus of its own
// (dbus-launch), which can hang and would hold no unlocked keyring anyway:
// that counts as no secret store.
bool SessionBusConfigured();

// A GCancellable that a stop request on `stop` cancels, from any thread.
class StopCancellation {
 public:
  explicit StopCancellation(std::stop_token stop)
      : cancellable_(g_cancellable_new()),
        on_stop_(std::move(stop), [c = cancellable_.get()] { g_cancellable_cancel(c); }) {}
  GCancellable* get() const { return cancellable_.get(); }

 private:
  struct Unref {
    void operator()(GCancellable* c) const { g_object_unref(c); }
  };
  // Declared before the stop callback that uses it, so it goes after it.
  std::unique_ptr<GCancellable, Unref> cancellable_;
  std::stop_callback<std::function<void()>> on_stop_;
};

}  // namespace nuve::core
