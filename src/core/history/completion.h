#pragma once
// The rows the address box offers while the user types: favourites first,
// then visited pages, each address once, at most eight.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/history/history_entry.h"

namespace nuve::core {

// A favourite as completion sees it; where favourites are kept is not its business.
struct FavouriteLink {
  std::string name;
  std::string url;
};
// Supplies the current favourites when the user types (may be empty).
using FavouritesSource = std::function<std::vector<FavouriteLink>()>;

struct Completion {
  std::string url;
  std::string title;
  bool favourite = false;

  bool operator==(const Completion&) const = default;
};

inline constexpr std::size_t kMaxCompletions = 8;

// Favourites whose name or address contains `typed` (case-insensitively for
// ASCII letters), then `history` in its order, without repeating an address
// ("http://a/" and "http://a" are the same), cut to `limit`.
std::vector<Completion> MergeCompletions(const std::string& typed, const std::vector<FavouriteLink>& favourites,
                                         const std::vector<HistoryEntry>& history,
                                         std::size_t limit = kMaxCompletions);

}  // namespace nuve::core
