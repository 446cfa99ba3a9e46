#include "core/util/legacy_text.h"

#include <glib.h>

namespace nuve::core {

std::string DecodeLegacyText(std::string_view bytes) {
  const auto size = static_cast<gssize>(bytes.size());
  if (g_utf8_validate(bytes.data(), size, nullptr)) return std::string(bytes);
  gsize written = 0;
  if (gchar* converted = g_convert(bytes.data(), size, "UTF-8", "GBK", nullptr, &written, nullptr)) {
    std::string text(converted, written);
    g_free(converted);
    return text;
  }
  gchar* valid = g_utf8_make_valid(bytes.data(), size);
  std::string text(valid);
  g_free(valid);
  return text;
}

}  // namespace nuve::core
