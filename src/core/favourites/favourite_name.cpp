#include "core/favourites/favourite_name.h"

#include <glib.h>

namespace nuve::core {

FavouriteNameFault CheckFavouriteName(std::string_view name) {
  if (name.empty()) return FavouriteNameFault::kEmpty;
  if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
    return FavouriteNameFault::kInvalidText;
  }
  for (const char* p = name.data(); p < name.data() + name.size(); p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (c < 0x80 && std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) {
      return FavouriteNameFault::kForbiddenCharacter;
    }
    if (g_unichar_iscntrl(c)) return FavouriteNameFault::kControlCharacter;
  }
  if (name == "." || name == "..") return FavouriteNameFault::kDotName;
  if (name.back() == '.' || name.back() == ' ') return FavouriteNameFault::kTrailingDotOrBlank;
  if (name.size() > kMaxFavouriteNameBytes) return FavouriteNameFault::kTooLong;
  return FavouriteNameFault::kNone;
}

std::string SafeFavouriteName(std::string_view name, bool folder, std::string_view fallback) {
  gchar* valid = g_utf8_make_valid(name.data(), static_cast<gssize>(name.size()));
  const std::string text(valid);
  g_free(valid);
  static constexpr std::string_view kForbidden = "\\/:*?\"<>|";
  std::string out;
  out.reserve(text.size());
  for (const char* p = text.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (c < 0x80 && kForbidden.find(static_cast<char>(c)) != std::string_view::npos) {
      char wide[8];
      // The full-width forms U+FF01..U+FF5E mirror ASCII 0x21..0x7E.
      out.append(wide, static_cast<std::size_t>(g_unichar_to_utf8(c - 0x21 + 0xFF01, wide)));
    } else if (g_unichar_iscntrl(c)) {
      out += ' ';
    } else {
      out.append(p, static_cast<std::size_t>(g_utf8_next_char(p) - p));
    }
  }
  const auto trim = [](std::string& s) {
    const auto first = s.find_first_not_of(' ');
    s.erase(0, first == std::string::npos ? s.size() : first);
    while (!s.empty() && (s.back() == ' ' || s.back() == '.')) s.pop_back();
  };
  trim(out);
  // Before the cut: the full-width dot is longer than the dot it replaces.
  if (folder && out.starts_with('.')) out.replace(0, 1, "．");
  if (out.size() > kMaxFavouriteNameBytes) {
    std::size_t cut = kMaxFavouriteNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
    trim(out);
  }
  if (out.empty() || out == "." || out == "..") return std::string(fallback);
  return out;
}

}  // namespace nuve::core
