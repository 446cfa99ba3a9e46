#pragma once
// Bookmarks as another browser keeps them, read from its files before they
// become favourites: a tree of folders and bookmarks, names and addresses
// as the file had them (not yet made safe as file names).

#include <cstddef>
#include <string>
#include <vector>

namespace nuve::core {

struct BookmarkNode {
  std::string name;
  std::string address;  // "" for a folder
  bool folder = false;
  std::vector<BookmarkNode> children;  // a folder's content, in the file's order
};

// What reading one bookmark file gave.
struct BookmarkRead {
  bool ok = false;
  // Why not (for the log and, shortened, for the user) when !ok.
  std::string error;
  // A folder standing for the whole file; its children are the file's top level.
  BookmarkNode root{"", "", true, {}};
  std::size_t bookmarks = 0;  // bookmarks in the tree
};

// No file bigger than this is read: no bookmark file of a real profile
// comes near it.
inline constexpr std::size_t kMaxBookmarkFileBytes = 256u * 1024 * 1024;
// Deeper folders are folded into the one at this depth.
inline constexpr int kMaxBookmarkDepth = 32;

}  // namespace nuve::core
