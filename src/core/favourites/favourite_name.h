#pragma once
// Whether a favourite's remark can be the name of its file. The remark
// becomes the file name as it stands, so it must be one portable file name:
// one that Linux, Windows and macOS all accept and that cannot point outside
// the favourites folder.

#include <cstddef>
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

}  // namespace nuve::core
