// Feeds arbitrary bytes to the readers of other browsers' bookmark files:
// the first byte chooses the Netscape HTML reader or the Chromium JSON
// reader, the rest is the file. Besides not crashing, the count of
// bookmarks read must be the tree's, no folder may be deeper than the limit,
// and every name, once made safe, must be one the favourites store accepts.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/favourites/chromium_bookmarks.h"
#include "core/favourites/favourite_name.h"
#include "core/favourites/netscape_html.h"

namespace {

std::size_t Check(const nuve::core::BookmarkNode& folder, int depth) {
  if (depth > nuve::core::kMaxBookmarkDepth + 1) std::abort();
  std::size_t bookmarks = 0;
  for (const auto& node : folder.children) {
    const std::string safe = nuve::core::SafeFavouriteName(node.name, node.folder);
    if (nuve::core::CheckFavouriteName(safe) != nuve::core::FavouriteNameFault::kNone) std::abort();
    if (node.folder) {
      bookmarks += Check(node, depth + 1);
    } else {
      if (node.address.empty() || !node.children.empty()) std::abort();
      ++bookmarks;
    }
  }
  return bookmarks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view file(reinterpret_cast<const char*>(data) + 1, size - 1);
  const nuve::core::BookmarkRead read =
      (data[0] & 1) != 0 ? nuve::core::ParseChromiumBookmarks(file) : nuve::core::ParseNetscapeHtml(file);
  if (!read.ok) {
    if (read.error.empty()) std::abort();
    return 0;
  }
  if (Check(read.root, 0) != read.bookmarks) std::abort();
  return 0;
}
