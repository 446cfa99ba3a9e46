#pragma once
// Avatars are checked by their content, not by what the client calls them.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nuve::server {

inline constexpr std::size_t kMaxImageBytes = 2 * 1024 * 1024;

// "image/png", "image/jpeg" or "image/gif" when the bytes start as such a
// file and are at most 2 MiB; nullopt otherwise.
std::optional<std::string> ImageMimeType(std::string_view bytes);
// The lower-case hex MD5 of the bytes: the name images are stored under.
std::string Md5Hex(std::string_view bytes);

}  // namespace nuve::server
