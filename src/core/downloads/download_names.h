#pragma once
// Names and texts of downloads: a safe file name for what a server suggests,
// a name that takes no existing file's place, the temporary ".part" name a
// download carries until it is complete, and sizes and speeds as shown.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace nuve::core {

// A file name for a server's suggestion: no folders (only the last part of
// a path counts), no control characters, no leading dot (no hidden files),
// at most 200 bytes without cutting a character; "下载" when nothing usable
// is left.
std::string SafeDownloadName(std::string_view suggested);

// A path in `folder` for `name` that neither exists (nor does its ".part")
// nor is `taken`: "name.ext", then "name (1).ext", "name (2).ext" ...
// Double extensions such as ".tar.gz" stay together.
std::filesystem::path UniqueDownloadPath(const std::filesystem::path& folder, const std::string& name,
                                         const std::function<bool(const std::filesystem::path&)>& taken = {});

// The name a download carries until it is complete: the final path + ".part".
std::filesystem::path PartialDownloadPath(const std::filesystem::path& final_path);

// "512 B", "1.5 KB", "20.0 MB", "1.25 GB" (1 KB = 1024 B).
std::string ByteSizeText(std::uint64_t bytes);
// ByteSizeText of a rate + "/s".
std::string SpeedText(double bytes_per_second);

}  // namespace nuve::core
