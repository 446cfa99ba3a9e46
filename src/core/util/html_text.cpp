#include "core/util/html_text.h"

#include <glib.h>

namespace nuve::core {

std::string HtmlEscape(std::string_view text) {
  // GLib escapes UTF-8 only: other bytes are mended first.
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string result = HtmlEscape(valid);
    g_free(valid);
    return result;
  }
  gchar* escaped = g_markup_escape_text(text.data(), static_cast<gssize>(text.size()));
  std::string result(escaped);
  g_free(escaped);
  return result;
}

}  // namespace nuve::core
