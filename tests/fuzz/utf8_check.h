#pragma once
// Whether bytes are UTF-8 text. GLib's check refuses NUL, which is a
// character like any other for the fuzz targets: a file or a reply may hold
// one, and it passes through the readers unchanged.

#include <glib.h>

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace nuve::fuzz {

inline bool IsUtf8(std::string_view text) {
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t nul = std::min(text.find('\0', start), text.size());
    if (!g_utf8_validate(text.data() + start, static_cast<gssize>(nul - start), nullptr)) return false;
    start = nul + 1;
  }
  return true;
}

}  // namespace nuve::fuzz
