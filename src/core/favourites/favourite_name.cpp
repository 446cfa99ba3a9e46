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

}  // namespace nuve::core
