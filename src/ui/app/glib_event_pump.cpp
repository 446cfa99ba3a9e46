#include "ui/app/glib_event_pump.h"

#include <chrono>
#include <exception>

#include "core/app/log.h"

namespace nuve::ui {
namespace {

gboolean RunTaskCb(gpointer data) noexcept {
  try {
    (*static_cast<std::function<void()>*>(data))();
  } catch (const std::exception& e) {
    core::LogError("event-pump", e.what());
  } catch (...) {
    core::LogError("event-pump", "unknown exception");
  }
  return G_SOURCE_REMOVE;
}

void DeleteTaskCb(gpointer data) noexcept { delete static_cast<std::function<void()>*>(data); }

gboolean DoNothingCb(gpointer) noexcept { return G_SOURCE_REMOVE; }

}  // namespace

GlibEventPump::GlibEventPump() : context_(g_main_context_ref_thread_default()) {}

GlibEventPump::~GlibEventPump() { g_main_context_unref(context_); }

void GlibEventPump::PumpUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) {
    g_main_context_iteration(context_, FALSE);
    return;
  }
  // A timer for the deadline makes the blocking iteration return by then at
  // the latest; Wake() makes it return earlier.
  GSource* timer = g_timeout_source_new(static_cast<guint>(std::min<long long>(left, G_MAXUINT)));
  g_source_set_callback(timer, DoNothingCb, nullptr, nullptr);
  g_source_attach(timer, context_);
  g_main_context_iteration(context_, TRUE);
  g_source_destroy(timer);
  g_source_unref(timer);
}

void GlibEventPump::Wake() { g_main_context_wakeup(context_); }

void GlibEventPump::PostToMainContext(std::function<void()> task) {
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, RunTaskCb, new std::function<void()>(std::move(task)),
                  DeleteTaskCb);
}

}  // namespace nuve::ui
