#pragma once
// The Netscape bookmark file (NETSCAPE-Bookmark-file-1) that every browser
// exports and imports: folders are <DT><H3>name</H3> followed by a <DL>
// list, bookmarks <DT><A HREF="address">name</A>.

#include <string>
#include <string_view>

#include "core/favourites/bookmark_tree.h"

namespace nuve::core {

// Reads a bookmark file with libxml2's forgiving HTML parser: unclosed tags,
// entities and stray text are taken as browsers take them. Text that is not
// UTF-8 is read as GBK (older Windows exports), bytes that are neither
// become U+FFFD. Fails only when the text is no HTML at all.
BookmarkRead ParseNetscapeHtml(std::string_view bytes);

// The file for `root`'s children, in UTF-8, names and addresses escaped.
std::string WriteNetscapeHtml(const BookmarkNode& root);

}  // namespace nuve::core
