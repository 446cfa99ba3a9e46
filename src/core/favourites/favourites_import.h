#pragma once
// Bookmarks of other browsers into the favourites folder, and the favourites
// out to a Netscape bookmark file.

#include <cstddef>
#include <filesystem>
#include <stop_token>

#include "core/favourites/bookmark_tree.h"
#include "core/favourites/favourites_store.h"
#include "core/util/status.h"

namespace nuve::core {

struct ImportReport {
  Status status;                 // the first write that failed, if any
  std::size_t imported = 0;      // favourites written
  std::size_t duplicates = 0;    // the same address was in that folder already
  std::size_t unusable = 0;      // addresses NUVE does not open (javascript:, place:, too long)
  std::size_t failed = 0;        // could not be written
};

// Which addresses become favourites: http, https, ftp and file addresses of
// at most 8 KiB. A bookmarklet (javascript:) would run inside whatever page
// is open when it is chosen, so none is taken.
bool IsImportableAddress(std::string_view address);

// Writes the bookmarks under `root` into the store: each folder becomes a
// subfolder (one of the same name is used as it is), a bookmark whose
// address that folder already holds is skipped, names are made safe
// (SafeFavouriteName) and a name taken by another address gets " (2)",
// " (3)"... Files are flushed to disk once, at the end. A stop request ends
// it between two bookmarks; what was written stays.
ImportReport ImportBookmarks(const FavouritesStore& store, const BookmarkNode& root, std::stop_token stop = {});

// The whole store as a tree: folders and favourites in the store's order;
// favourites without an address are left out.
BookmarkNode ReadFavouritesTree(const FavouritesStore& store);

// Counts the bookmarks of a tree.
std::size_t CountBookmarks(const BookmarkNode& root);

// Writes the store to `file` as a Netscape bookmark file, atomically.
// Errors: kIo.
Status ExportFavourites(const FavouritesStore& store, const std::filesystem::path& file, std::size_t* count = nullptr);

}  // namespace nuve::core
