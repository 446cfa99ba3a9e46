#include "ui/app/shell_open.h"

#include <gio/gio.h>

#include <string>

#include "core/app/log.h"

namespace nuve::ui {

bool ShellOpen(const std::filesystem::path& path) {
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  if (uri == nullptr) return false;
  GError* error = nullptr;
  const bool ok = g_app_info_launch_default_for_uri(uri, nullptr, &error) != FALSE;
  if (!ok) {
    core::LogWarning("open", "cannot open " + path.string() + ": " + (error != nullptr ? error->message : ""));
    g_clear_error(&error);
  }
  g_free(uri);
  return ok;
}

}  // namespace nuve::ui
