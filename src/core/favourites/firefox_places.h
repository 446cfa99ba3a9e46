#pragma once
// Firefox's bookmarks in its profile's places.sqlite (tables moz_bookmarks
// and moz_places). A running Firefox keeps the file locked and its newest
// changes in places.sqlite-wal, so the two are copied to a temporary folder
// and the copy is read: Firefox is never disturbed and never waited for.

#include <filesystem>

#include "core/favourites/bookmark_tree.h"

namespace nuve::core {

// The bookmark roots (书签菜单, 书签工具栏, 其他书签, 移动设备书签) become
// folders of the result; tags and separators are left out. Fails when the
// file cannot be copied or is no readable Firefox database.
BookmarkRead ReadFirefoxPlaces(const std::filesystem::path& places);

}  // namespace nuve::core
