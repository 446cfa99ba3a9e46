#pragma once
// The "Bookmarks" file of Chromium, Google Chrome and the browsers built on
// them: JSON with "roots" ("bookmark_bar", "other", "synced"), each a folder
// node whose "children" are nodes of "type" "url" or "folder".

#include <string_view>

#include "core/favourites/bookmark_tree.h"

namespace nuve::core {

// Reads the file as a stream (SAX), keeping only the nodes, so a file of
// tens of megabytes costs little more memory than its bookmarks. Each root
// that holds anything becomes a folder of the result, named as the file
// names it or, without a name, as Chromium's Chinese interface does. Fails when the text is not
// JSON or has no "roots".
BookmarkRead ParseChromiumBookmarks(std::string_view bytes);

}  // namespace nuve::core
