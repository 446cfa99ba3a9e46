#pragma once
// The favourites folder "收藏夹" in the data folder: one Internet-shortcut
// file per favourite, named after the favourite's remark, and one subfolder
// per favourites folder (as the Windows Favourites folder has them). The
// folder is the store; there is no other index. Windows show what List() and
// ListFolder() say and act on a favourite through the entry they gave them.
// Nothing here follows a symbolic link to a folder: a link placed in the
// folder cannot lead the store outside it.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/favourites/favourite_name.h"
#include "core/util/status.h"

namespace nuve::core {

struct FavouriteEntry {
  // The file name less ".url" (matched in any case), as UTF-8: a name written
  // in GBK by the Windows version is converted.
  std::string title;
  // The file itself, under its real name on disk (for a folder, the folder).
  std::filesystem::path file;
  // A subfolder of the store rather than a favourite.
  bool is_folder = false;
};

struct [[nodiscard]] FavouriteAdded {
  Status status;
  FavouriteEntry entry;  // the file written (when status is ok)
  bool replaced = false;  // a favourite of that title existed and was overwritten
};

// The title of a favourite's file named `file_name` (the name less ".url" in
// any case, GBK names converted); "" when the name is no favourite's.
std::string FavouriteTitleOf(const std::string& file_name);

class FavouritesStore {
 public:
  // Reading a favourite looks at no more than this many bytes of its file.
  static constexpr std::size_t kMaxReadBytes = 64 * 1024;
  // Folders deeper than this are not looked into.
  static constexpr int kMaxFolderDepth = 32;

  explicit FavouritesStore(std::filesystem::path folder);

  const std::filesystem::path& folder() const { return folder_; }

  // Creates the folder (and its parents) when it is missing.
  Status EnsureFolder() const;

  // Every regular file whose name ends in ".url" (any case), sorted by title
  // as a file manager sorts names, then by the file name's bytes. A missing
  // or unreadable folder gives an empty list (logged when unreadable).
  std::vector<FavouriteEntry> List() const;

  // The content of `folder` (the store's folder itself, or one of its
  // subfolders): its subfolders first, then its favourites, each sorted as
  // List() sorts. Hidden folders (a leading dot) are left out. A folder outside
  // the store, or one that cannot be read, gives an empty list.
  std::vector<FavouriteEntry> ListFolder(const std::filesystem::path& folder) const;
  // Every subfolder of the store, parents before their children, each level
  // sorted; at most `limit` of them.
  std::vector<FavouriteEntry> AllFolders(std::size_t limit = 10000) const;
  // The favourites of the whole store, those of the top level first.
  std::vector<FavouriteEntry> AllFavourites() const;

  // Saves `address` under the remark `title`: an existing favourite of that
  // title is replaced whole (written to its own file, whatever the case of
  // its ".url"), otherwise title + ".url" is created. The write is atomic.
  // Errors: kInvalidName when CheckFavouriteName(title) fails (nothing is
  // written), kIo when the folder or file cannot be written.
  FavouriteAdded Add(std::string_view title, std::string_view address) const;
  // The same in `folder`, the store's folder or one of its subfolders
  // (kInvalidName for any other folder).
  FavouriteAdded Add(std::string_view title, std::string_view address, const std::filesystem::path& folder) const;

  // Writes title + ".url" into `folder` without looking for a favourite of
  // that title first: for callers that write many and know the names in
  // the folder (an import, the sync). Without `flush` the file is not
  // waited for on disk (see FlushFileSystem). Errors as Add.
  FavouriteAdded WriteNew(std::string_view title, std::string_view address, const std::filesystem::path& folder,
                          bool flush) const;

  // Creates the subfolder `name` in `parent` (the store's folder or one of
  // its subfolders); one that exists already counts as created. Errors:
  // kInvalidName for a name that CheckFavouriteName refuses or that starts
  // with a dot (a hidden folder is not listed), or a parent outside the
  // store; kIo when it cannot be made.
  FavouriteAdded CreateFolder(std::string_view name, const std::filesystem::path& parent) const;
  // Deletes a subfolder with everything in it. Errors: kInvalidName for the
  // store's folder itself or anything outside it, kIo when something in it
  // cannot be deleted (what could be deleted is gone).
  Status RemoveFolder(const FavouriteEntry& folder) const;

  // Whether `path` lies inside the store's folder (not the folder itself),
  // reached through no symbolic link to a folder.
  bool Contains(const std::filesystem::path& path) const;
  // `folder` is the store's folder or a subfolder it Contains.
  bool IsStoreFolder(const std::filesystem::path& folder) const;

  // The favourite's address (see ParseUrlFileAddress), read from the first
  // kMaxReadBytes of its file; "" when the file cannot be read or holds no
  // address.
  std::string ReadAddress(const FavouriteEntry& entry) const;

  // Deletes the favourite's file. A file that is already gone counts as
  // deleted; any other failure is kIo. A folder entry is refused
  // (kInvalidName): RemoveFolder deletes folders.
  Status Remove(const FavouriteEntry& entry) const;

 private:
  void ListInto(const std::filesystem::path& dir, std::vector<FavouriteEntry>* folders,
                std::vector<FavouriteEntry>* favourites) const;

  std::filesystem::path folder_;
};

}  // namespace nuve::core
