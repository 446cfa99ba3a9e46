// Shows arbitrary text as an address and turns it back, checking what the
// rules promise on any input: text stays UTF-8, decoding never brings out a
// character that could mislead (a bidi control, an invisible or a space-like
// one) which the input did not already hold as such, and an address written
// the way the engine writes it (printable ASCII, upper-case escapes, a
// lower-case host) comes back from what is shown exactly.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include <glib.h>

#include "core/app/display_address.h"

using nuve::core::AddressFromDisplay;
using nuve::core::DisplayAddress;

namespace {

// Characters whose appearance can hide or fake part of an address.
bool Misleads(gunichar c) {
  switch (g_unichar_type(c)) {
    case G_UNICODE_CONTROL:
    case G_UNICODE_FORMAT:
    case G_UNICODE_UNASSIGNED:
    case G_UNICODE_PRIVATE_USE:
    case G_UNICODE_LINE_SEPARATOR:
    case G_UNICODE_PARAGRAPH_SEPARATOR:
      return true;
    case G_UNICODE_SPACE_SEPARATOR:
      return c != ' ';
    default:
      return false;
  }
}

std::map<gunichar, int> MisleadingCount(const std::string& text) {
  std::map<gunichar, int> count;
  for (const char* p = text.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (Misleads(c)) ++count[c];
  }
  return count;
}

// Printable ASCII with upper-case escapes and no upper-case letter before
// the path: the form of an address the engine reports.
bool IsEngineForm(const std::string& text) {
  const std::size_t path = text.find_first_of("/?#", text.find("://") == std::string::npos ? 0 : text.find("://") + 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c <= 0x20 || c >= 0x7F) return false;
    if (i < path && c >= 'A' && c <= 'Z') return false;
    if (c == '%' && i + 2 < text.size() && (g_ascii_islower(text[i + 1]) || g_ascii_islower(text[i + 2]))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string shown = DisplayAddress(text);
  const std::string back = AddressFromDisplay(shown);
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return 0;
  if (!g_utf8_validate(shown.data(), static_cast<gssize>(shown.size()), nullptr)) std::abort();
  const std::map<gunichar, int> before = MisleadingCount(text);
  for (const auto& [c, n] : MisleadingCount(shown)) {
    const auto it = before.find(c);
    if (it == before.end() || it->second < n) std::abort();
  }
  if (IsEngineForm(text) && back != text) std::abort();
  return 0;
}
