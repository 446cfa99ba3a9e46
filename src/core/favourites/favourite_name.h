#pragma once
// Whether a favourite's remark can be the name of its file. The remark
// becomes the file name as it stands, so it must be one portable file name:
// one that Linux, Windows and macOS all accept and that cannot point outside
// the favourites folder.

#include <cstddef>
#include <string>
#include <string_view>

namespace nuve::core {

enum class FavouriteNameFault {
  kNone,
  kEmpty,
  kInvalidText,         // not valid UTF-8
  kForbiddenCharacter,  // one of \ / : * ? " < > |
  kControlCharacter,
  kDotName,             // "." or ".."
  kTrailingDotOrBlank,
  kTooLong,             // more than kMaxFavouriteNameBytes bytes
};

// The characters a favourite's name may not hold, as the user is told.
inline constexpr std::string_view kForbiddenNameCharacters = "\\ / : * ? \" < > |";
inline constexpr std::size_t kMaxFavouriteNameBytes = 200;

// The first rule `name` breaks, or kNone.
FavouriteNameFault CheckFavouriteName(std::string_view name);

// A name that CheckFavouriteName accepts, made from a name someone else
// chose (another browser's bookmark, a synced favourite): text that is not
// UTF-8 is mended, the forbidden characters become their full-width forms
// ("<" becomes "＜"), control characters blanks, surrounding blanks and
// trailing dots go, a folder's leading dot becomes "．" (a hidden folder
// would not be listed), and a name too long is cut at a character boundary.
// What is left empty, or "." or "..", becomes `fallback`.
std::string SafeFavouriteName(std::string_view name, bool folder = false, std::string_view fallback = "未命名");

}  // namespace nuve::core
