#include "core/favourites/url_file.h"

#include <glib.h>

#include "core/util/legacy_text.h"

namespace nuve::core {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

std::string UrlFileContent(std::string_view address) {
  std::string content = "[InternetShortcut]\r\nURL=";
  for (const char c : address) content += (c == '\r' || c == '\n') ? ' ' : c;
  return content;
}

std::string ParseUrlFileAddress(std::string_view bytes, bool truncated) {
  // Lines are found on the raw bytes: CR and LF never occur inside a GBK
  // character, so this is safe before the text is decoded.
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", start);
    const bool last = end == std::string_view::npos;
    if (last) end = bytes.size();
    const std::string_view line = Trim(bytes.substr(start, end - start));
    if (line.size() >= 4 && g_ascii_strncasecmp(line.data(), "URL=", 4) == 0) {
      if (last && truncated) return {};
      return DecodeLegacyText(Trim(line.substr(4)));
    }
    start = end + 1;
  }
  return {};
}

}  // namespace nuve::core
