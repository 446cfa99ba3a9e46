#pragma once
// The favourites folder "收藏夹" in the data folder: one Internet-shortcut
// file per favourite, named after the favourite's remark. The folder is the
// store; there is no other index. Windows show what List() says and act on a
// favourite through the entry it gave them.

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
  // The file itself, under its real name on disk.
  std::filesystem::path file;
};

struct [[nodiscard]] FavouriteAdded {
  Status status;
  FavouriteEntry entry;  // the file written (when status is ok)
  bool replaced = false;  // a favourite of that title existed and was overwritten
};

class FavouritesStore {
 public:
  // Reading a favourite looks at no more than this many bytes of its file.
  static constexpr std::size_t kMaxReadBytes = 64 * 1024;

  explicit FavouritesStore(std::filesystem::path folder);

  const std::filesystem::path& folder() const { return folder_; }

  // Creates the folder (and its parents) when it is missing.
  Status EnsureFolder() const;

  // Every regular file whose name ends in ".url" (any case), sorted by title
  // as a file manager sorts names, then by the file name's bytes. A missing
  // or unreadable folder gives an empty list (logged when unreadable).
  std::vector<FavouriteEntry> List() const;

  // Saves `address` under the remark `title`: an existing favourite of that
  // title is replaced whole (written to its own file, whatever the case of
  // its ".url"), otherwise title + ".url" is created. The write is atomic.
  // Errors: kInvalidName when CheckFavouriteName(title) fails (nothing is
  // written), kIo when the folder or file cannot be written.
  FavouriteAdded Add(std::string_view title, std::string_view address) const;

  // The favourite's address (see ParseUrlFileAddress), read from the first
  // kMaxReadBytes of its file; "" when the file cannot be read or holds no
  // address.
  std::string ReadAddress(const FavouriteEntry& entry) const;

  // Deletes the favourite's file. A file that is already gone counts as
  // deleted; any other failure is kIo.
  Status Remove(const FavouriteEntry& entry) const;

 private:
  std::filesystem::path folder_;
};

}  // namespace nuve::core
