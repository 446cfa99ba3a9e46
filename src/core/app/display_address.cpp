#include "core/app/display_address.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

namespace nuve::core {
namespace {

// Letters that show as nothing, or as something they are not.
constexpr std::array<gunichar, 18> kMisleading = {
    0x01C3,                             // ǃ, a letter that reads as "!"
    0x02D0,  0x02D1,                    // ː ˑ, letters that read as ":"
    0x034F,                             // combining grapheme joiner
    0x115F,  0x1160,  0x3164,  0xFFA0,  // Hangul fillers
    0x17B4,  0x17B5,                    // Khmer inherent vowels
    0x180B,  0x180C,  0x180D,  0x180F,  // Mongolian variation selectors
    0x2800,                             // braille blank
    0x1F50F, 0x1F512, 0x1F513,          // padlocks, which could fake the secure-site sign
};

bool IsMisleading(gunichar c) { return std::find(kMisleading.begin(), kMisleading.end(), c) != kMisleading.end(); }

// Whether a character decoded from an escape may be shown as itself.
bool IsSafeToShow(gunichar c) {
  switch (g_unichar_type(c)) {
    case G_UNICODE_CONTROL:
    case G_UNICODE_FORMAT:  // bidi controls, zero-width characters, the BOM
    case G_UNICODE_UNASSIGNED:
    case G_UNICODE_PRIVATE_USE:
    case G_UNICODE_SURROGATE:
    case G_UNICODE_LINE_SEPARATOR:
    case G_UNICODE_PARAGRAPH_SEPARATOR:
    case G_UNICODE_SPACE_SEPARATOR:  // no-break and ideographic spaces look like a blank
      return false;
    default:
      return !IsMisleading(c);
  }
}

bool IsEscapeAt(std::string_view s, std::size_t i) {
  return i + 2 < s.size() && s[i] == '%' && g_ascii_isxdigit(s[i + 1]) && g_ascii_isxdigit(s[i + 2]);
}

// One run of escapes ("%E6%89%80%20"), decoded where that is safe; the
// escapes of anything else are kept as they were written.
std::string DecodeRun(std::string_view run, bool ends_address) {
  std::unique_ptr<GBytes, decltype(&g_bytes_unref)> bytes(
      g_uri_unescape_bytes(run.data(), static_cast<gssize>(run.size()), nullptr, nullptr), &g_bytes_unref);
  if (!bytes) return std::string(run);
  gsize count = 0;
  const auto* b = static_cast<const unsigned char*>(g_bytes_get_data(bytes.get(), &count));
  if (count * 3 != run.size()) return std::string(run);
  // Blanks that end the address would not be seen, and are dropped when the
  // text is typed again.
  std::size_t keep_from = count;
  if (ends_address) {
    while (keep_from > 0 && b[keep_from - 1] == ' ') --keep_from;
  }
  std::string out;
  std::size_t k = 0;
  while (k < keep_from) {
    if (b[k] == ' ') {
      out += ' ';
      ++k;
      continue;
    }
    if (b[k] >= 0x80) {
      const std::size_t length = static_cast<unsigned char>(g_utf8_skip[b[k]]);
      if (length > 1 && k + length <= keep_from) {
        const gunichar c = g_utf8_get_char_validated(reinterpret_cast<const char*>(b + k), static_cast<gssize>(length));
        if (c < 0x110000 && IsSafeToShow(c)) {
          out.append(reinterpret_cast<const char*>(b + k), length);
          k += length;
          continue;
        }
      }
    }
    out += run.substr(k * 3, 3);  // an ASCII escape, or a byte that is not safe text
    ++k;
  }
  out += run.substr(keep_from * 3);
  return out;
}

// The path, query and fragment of an address with their safe escapes decoded.
std::string DecodeEscapes(std::string_view rest) {
  std::string out;
  std::size_t i = 0;
  while (i < rest.size()) {
    if (!IsEscapeAt(rest, i)) {
      out += rest[i++];
      continue;
    }
    std::size_t end = i;
    while (IsEscapeAt(rest, end)) end += 3;
    out += DecodeRun(rest.substr(i, end - i), end == rest.size());
    i = end;
  }
  return out;
}

// The schemes whose addresses are shown decoded; the others are opaque to
// people (data:, javascript:) or ours (nuve:, about:).
bool IsDecodedScheme(const char* scheme) {
  return scheme != nullptr &&
         (std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0 || std::strcmp(scheme, "file") == 0);
}

// Where "scheme://" ends in `text`, or npos when the text does not begin
// with one of the decoded schemes and "//".
std::size_t AuthorityStart(const std::string& text) {
  char* scheme = g_uri_parse_scheme(text.c_str());
  const bool decoded = IsDecodedScheme(scheme);
  const std::size_t length = scheme != nullptr ? std::strlen(scheme) : 0;
  g_free(scheme);
  if (!decoded || text.compare(length, 3, "://") != 0) return std::string::npos;
  return length + 3;
}

std::vector<std::string_view> SplitLabels(std::string_view host) {
  std::vector<std::string_view> labels;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = host.find('.', start);
    labels.push_back(host.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return labels;
}

std::set<GUnicodeScript> ScriptsOf(std::string_view label) {
  std::set<GUnicodeScript> scripts;
  for (const char* p = label.data(); p < label.data() + label.size(); p = g_utf8_next_char(p)) {
    const GUnicodeScript script = g_unichar_get_script(g_utf8_get_char(p));
    if (script != G_UNICODE_SCRIPT_COMMON && script != G_UNICODE_SCRIPT_INHERITED) scripts.insert(script);
  }
  return scripts;
}

// The mixes that are ordinary writing: Chinese, Japanese and Korean names
// mix Han with their own scripts, and all of them with Latin.
bool IsOrdinaryMix(const std::set<GUnicodeScript>& scripts) {
  if (scripts.size() <= 1) return true;
  auto within = [&scripts](std::initializer_list<GUnicodeScript> allowed) {
    return std::all_of(scripts.begin(), scripts.end(), [&allowed](GUnicodeScript s) {
      return std::find(allowed.begin(), allowed.end(), s) != allowed.end();
    });
  };
  return within({G_UNICODE_SCRIPT_LATIN, G_UNICODE_SCRIPT_HAN, G_UNICODE_SCRIPT_HIRAGANA, G_UNICODE_SCRIPT_KATAKANA}) ||
         within({G_UNICODE_SCRIPT_LATIN, G_UNICODE_SCRIPT_HAN, G_UNICODE_SCRIPT_BOPOMOFO}) ||
         within({G_UNICODE_SCRIPT_LATIN, G_UNICODE_SCRIPT_HAN, G_UNICODE_SCRIPT_HANGUL});
}

// Cyrillic letters that look like Latin ones: a label of nothing else
// ("аррӏе") reads as a Latin name.
bool IsLatinLookAlike(gunichar c) {
  static constexpr std::u32string_view kLookAlikes = U"аысԁеԍһіюјӏорԛѕԝхуүъьҽпгѵѡ";
  return kLookAlikes.find(static_cast<char32_t>(c)) != std::u32string_view::npos;
}

bool IsReadableLabel(std::string_view label, bool cyrillic_top_level) {
  bool all_look_alike = true;
  bool any_cyrillic = false;
  for (const char* p = label.data(); p < label.data() + label.size(); p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (c == '-') continue;
    switch (g_unichar_type(c)) {
      case G_UNICODE_LOWERCASE_LETTER:
      case G_UNICODE_UPPERCASE_LETTER:
      case G_UNICODE_TITLECASE_LETTER:
      case G_UNICODE_MODIFIER_LETTER:
      case G_UNICODE_OTHER_LETTER:
      case G_UNICODE_NON_SPACING_MARK:
      case G_UNICODE_SPACING_MARK:
      case G_UNICODE_ENCLOSING_MARK:
      case G_UNICODE_DECIMAL_NUMBER:
        break;
      default:
        return false;  // symbols and punctuation: a "⁄" or "．" can fake a path or a dot
    }
    if (IsMisleading(c)) return false;
    if (g_unichar_get_script(c) == G_UNICODE_SCRIPT_CYRILLIC) {
      any_cyrillic = true;
      if (!IsLatinLookAlike(c)) all_look_alike = false;
    } else if (g_unichar_isalpha(c)) {
      all_look_alike = false;
    }
  }
  if (!IsOrdinaryMix(ScriptsOf(label))) return false;
  return !(any_cyrillic && all_look_alike && !cyrillic_top_level);
}

bool NeedsEncoding(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || u <= 0x20 || u == 0x7F;
  });
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && g_ascii_isspace(s.front())) s.remove_prefix(1);
  while (!s.empty() && g_ascii_isspace(s.back())) s.remove_suffix(1);
  return s;
}

// Where the host of an address starts and ends, and where its path, query
// or fragment begins. The host follows the user information ("user@") and
// ends at the port; an IP literal ("[::1]") is taken as part of the port's
// text, for it has no international form.
struct AddressParts {
  std::size_t host = 0;
  std::size_t host_end = 0;
  std::size_t rest = 0;

  std::string_view Host(std::string_view text) const { return text.substr(host, host_end - host); }
};

AddressParts SplitAddress(const std::string& text, std::size_t authority) {
  AddressParts parts;
  parts.rest = std::min(text.find_first_of("/?#", authority), text.size());
  parts.host = authority;
  if (const std::size_t at = text.rfind('@', parts.rest - 1); at != std::string::npos && at >= authority) {
    parts.host = at + 1;
  }
  parts.host_end = parts.rest;
  if (parts.host < parts.rest && text[parts.host] == '[') {
    parts.host_end = parts.host;
  } else if (const std::size_t colon = text.find(':', parts.host); colon < parts.rest) {
    parts.host_end = colon;
  }
  return parts;
}

// Every printable ASCII character: g_uri_escape_string then escapes only
// blanks, controls and bytes of non-ASCII text.
constexpr const char* kPrintableAscii = "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";

// GLib's text functions read past the end of bytes that are not UTF-8, so
// such text is handed back as it came.
bool IsUtf8(const std::string& text) { return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr); }

}  // namespace

std::string DisplayHost(std::string_view host) {
  const std::string ascii(host);
  if (!IsUtf8(ascii) || !g_hostname_is_ascii_encoded(ascii.c_str())) return ascii;
  std::unique_ptr<gchar, decltype(&g_free)> unicode(g_hostname_to_unicode(ascii.c_str()), &g_free);
  if (!unicode || !g_utf8_validate(unicode.get(), -1, nullptr)) return ascii;
  const std::string shown(unicode.get());
  // Only a name that goes back to this very host is shown: punycode that
  // no browser would write (upper-case or unnormalised text) stays as it is.
  std::unique_ptr<gchar, decltype(&g_free)> back(g_hostname_to_ascii(shown.c_str()), &g_free);
  std::unique_ptr<gchar, decltype(&g_free)> lower(g_ascii_strdown(ascii.c_str(), -1), &g_free);
  if (!back || std::strcmp(back.get(), lower.get()) != 0) return ascii;
  const std::vector<std::string_view> labels = SplitLabels(shown);
  // The top-level domain is the last label ("a.example." ends in a dot).
  std::string_view top_level = labels.back();
  if (top_level.empty() && labels.size() > 1) top_level = labels[labels.size() - 2];
  const bool cyrillic_top_level = ScriptsOf(top_level).contains(G_UNICODE_SCRIPT_CYRILLIC);
  for (std::string_view label : labels) {
    if (!IsReadableLabel(label, cyrillic_top_level)) return ascii;
  }
  return shown;
}

std::string DisplayAddress(std::string_view address) {
  const std::string text(address);
  if (!IsUtf8(text)) return text;
  const std::size_t authority = AuthorityStart(text);
  if (authority == std::string::npos) return text;
  // Only what the address grammar accepts is decoded; anything odd is shown as it is.
  if (!g_uri_is_valid(text.c_str(), G_URI_FLAGS_ENCODED, nullptr)) return text;
  const AddressParts parts = SplitAddress(text, authority);
  return text.substr(0, parts.host) + DisplayHost(parts.Host(text)) +
         text.substr(parts.host_end, parts.rest - parts.host_end) +
         DecodeEscapes(std::string_view(text).substr(parts.rest));
}

std::string AddressFromDisplay(std::string_view text) {
  const std::string trimmed(TrimBlanks(text));
  if (!IsUtf8(trimmed)) return std::string(text);
  const std::size_t authority = AuthorityStart(trimmed);
  if (authority == std::string::npos || !NeedsEncoding(trimmed)) return std::string(text);
  const AddressParts parts = SplitAddress(trimmed, authority);
  // A Unicode host goes to punycode; a host that has none stays as typed.
  std::string host(parts.Host(trimmed));
  if (g_hostname_is_non_ascii(host.c_str())) {
    std::unique_ptr<gchar, decltype(&g_free)> ascii(g_hostname_to_ascii(host.c_str()), &g_free);
    if (ascii) host = ascii.get();
  }
  // Only what may not stand in an address is escaped (blanks, controls,
  // non-ASCII text); every other character, and every escape the text
  // already holds (a stray "%" of "50%" too), stays as it was.
  auto escape = [](const std::string& part) {
    std::unique_ptr<gchar, decltype(&g_free)> escaped(g_uri_escape_string(part.c_str(), kPrintableAscii, FALSE),
                                                      &g_free);
    return std::string(escaped.get());
  };
  return escape(trimmed.substr(0, parts.host)) + host + escape(trimmed.substr(parts.host_end));
}

}  // namespace nuve::core
