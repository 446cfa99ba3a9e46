#include "ui/app/glib_ui_poster.h"

#include <glib.h>

#include <exception>

#include "core/app/log.h"

namespace nuve::ui {
namespace {

gboolean RunTaskCb(gpointer data) noexcept {
  try {
    (*static_cast<std::function<void()>*>(data))();
  } catch (const std::exception& e) {
    core::LogError("ui task", e.what());
  } catch (...) {
    core::LogError("ui task", "unknown exception");
  }
  return G_SOURCE_REMOVE;
}

void DeleteTaskCb(gpointer data) noexcept { delete static_cast<std::function<void()>*>(data); }

}  // namespace

void GlibUiPoster::Post(std::function<void()> task) {
  // The default priority: a reply is handled as soon as the loop is free,
  // not only once it has nothing else to do.
  g_idle_add_full(G_PRIORITY_DEFAULT, RunTaskCb, new std::function<void()>(std::move(task)), DeleteTaskCb);
}

}  // namespace nuve::ui
