#include "core/app/tab_caption.h"

#include <glib.h>

#include <algorithm>

namespace nuve::core {
namespace {

// Columns of the character starting at `p` and its byte length, within `end`.
std::pair<int, int> NextChar(const char* p, const char* end) {
  const gunichar c = g_utf8_get_char_validated(p, end - p);
  if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return {1, 1};
  const int bytes = static_cast<int>(g_utf8_next_char(p) - p);
  if (g_unichar_iszerowidth(c)) return {0, bytes};
  return {g_unichar_iswide(c) ? 2 : 1, bytes};
}

}  // namespace

std::string PadCaption(int columns_used) {
  return std::string(static_cast<size_t>(kCaptionColumns - std::clamp(columns_used, 0, kCaptionColumns)), ' ');
}

int DisplayColumns(std::string_view text) {
  int columns = 0;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    auto [width, bytes] = NextChar(p, end);
    columns += width;
    p += bytes;
  }
  return columns;
}

std::string TabCaption(std::string_view title) {
  const char* p = title.data();
  const char* end = p + title.size();
  int columns = 0;
  while (p < end) {
    auto [width, bytes] = NextChar(p, end);
    if (columns + width > kCaptionColumns) {
      return std::string(title.data(), p) + "...";
    }
    columns += width;
    p += bytes;
  }
  return std::string(title) + PadCaption(columns);
}

std::string NewTabCaption() { return "新建选项卡" + std::string(9, ' '); }

}  // namespace nuve::core
