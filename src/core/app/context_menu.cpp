#include "core/app/context_menu.h"

#include <glib.h>

#include <algorithm>
#include <cctype>

#include "core/account/charset.h"

namespace nuve::core {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower;
}

// The scheme of `address`, lower case; "" when it has none.
std::string SchemeOf(std::string_view address) {
  const auto colon = address.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  const std::string_view scheme = address.substr(0, colon);
  const bool valid = std::isalpha(static_cast<unsigned char>(scheme[0])) &&
                     std::all_of(scheme.begin(), scheme.end(), [](unsigned char c) {
                       return std::isalnum(c) || c == '+' || c == '-' || c == '.';
                     });
  return valid ? Lower(scheme) : std::string();
}

// Whether a data: address holds something that cannot pass for a site.
bool IsInertData(std::string_view address) {
  std::string_view rest = address.substr(address.find(':') + 1);
  const auto end = rest.find_first_of(";,");
  std::string type = Lower(rest.substr(0, end));
  type.erase(std::remove_if(type.begin(), type.end(), [](unsigned char c) { return std::isspace(c); }), type.end());
  if (type.empty() || type == "text/plain") return true;  // data: without a type is plain text
  if (type == "image/svg+xml") return false;               // SVG runs scripts
  return type.rfind("image/", 0) == 0 || type.rfind("audio/", 0) == 0 || type.rfind("video/", 0) == 0;
}

// `text` with every byte that is not UTF-8, and every NUL, as U+FFFD.
std::string ValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c == 0 || c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      valid += "\xEF\xBF\xBD";
      ++p;
      continue;
    }
    const char* next = g_utf8_next_char(p);
    valid.append(p, next);
    p = next;
  }
  return valid;
}

std::string Escape(std::string_view text) {
  gchar* escaped = g_markup_escape_text(text.data(), static_cast<gssize>(text.size()));
  std::string result(escaped);
  g_free(escaped);
  return result;
}

// The source as UTF-8: see SourcePageHtml.
std::string SourceText(std::string_view source, std::string_view charset) {
  // A NUL byte is no reason to read the page in another charset.
  std::string probe(source);
  std::replace(probe.begin(), probe.end(), '\0', ' ');
  if (g_utf8_validate(probe.data(), static_cast<gssize>(probe.size()), nullptr)) return ValidUtf8(source);
  const std::string name = Lower(charset);
  if (!name.empty() && name != "utf-8" && name != "utf8") {
    gsize written = 0;
    gchar* converted = g_convert(source.data(), static_cast<gssize>(source.size()), "UTF-8",
                                 std::string(charset).c_str(), nullptr, &written, nullptr);
    if (converted != nullptr) {
      std::string result = ValidUtf8(std::string_view(converted, written));
      g_free(converted);
      return result;
    }
  }
  return ValidUtf8(DecodeReplyText(source));
}

}  // namespace

AddressUses UsesOfAddress(std::string_view address) {
  const std::string scheme = SchemeOf(address);
  if (scheme == "http" || scheme == "https" || scheme == "file") return {true, true, true};
  if (scheme == "data") return {IsInertData(address), true, false};
  if (scheme == "blob") return {false, true, false};
  return {};
}

std::string SearchTerms(std::string_view selection) {
  const std::string text = ValidUtf8(selection);
  std::string terms;
  std::size_t chars = 0;
  bool blank = false;
  for (const char* p = text.c_str(); *p != '\0' && chars < kMaxSearchChars; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (g_unichar_isspace(c)) {
      blank = !terms.empty();
      continue;
    }
    if (blank) {
      if (chars + 2 > kMaxSearchChars) break;  // no blank without a character after it
      terms += ' ';
      ++chars;
      blank = false;
    }
    terms.append(p, static_cast<std::size_t>(g_utf8_next_char(p) - p));
    ++chars;
  }
  return terms;
}

std::string SearchCaption(std::string_view selection) {
  const std::string terms = SearchTerms(selection);
  const glong length = g_utf8_strlen(terms.c_str(), -1);
  std::string shown = terms;
  if (length > static_cast<glong>(kSearchCaptionChars)) {
    const char* end = g_utf8_offset_to_pointer(terms.c_str(), static_cast<glong>(kSearchCaptionChars));
    shown = std::string(terms.c_str(), end) + "…";
  }
  return "用搜索引擎搜索“" + shown + "”";
}

std::string SourceTitle(std::string_view address) { return "源代码 - " + ValidUtf8(address); }

std::string SourcePageHtml(std::string_view address, std::string_view source, std::string_view charset) {
  // The line break right after <pre> is the parser's to drop, so that a
  // source's own first line break stays.
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + Escape(SourceTitle(address)) +
         "</title></head><body style=\"margin:0\"><pre style=\"margin:8px;white-space:pre-wrap;"
         "word-break:break-all;font-family:monospace\">\n" +
         Escape(SourceText(source, charset)) + "</pre></body></html>";
}

}  // namespace nuve::core
