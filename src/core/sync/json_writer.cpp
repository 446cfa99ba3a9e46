#include "core/sync/json_writer.h"

#include <glib.h>

namespace nuve::core {

void AppendJsonString(std::string& out, std::string_view text) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    const std::string mended(valid);
    g_free(valid);
    AppendJsonString(out, mended);
    return;
  }
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          static constexpr char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

}  // namespace nuve::core
