#pragma once
// A private folder for the fuzz targets that write files, made once per
// process and removed when it ends. It lies in memory (/dev/shm) where that
// exists, so that the fsync of every atomic write costs nothing.

#include <glib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace nuve::fuzz {

class ScratchFolder {
 public:
  ScratchFolder() {
    const std::filesystem::path base = access("/dev/shm", W_OK) == 0
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "nuve-fuzz-XXXXXX").string();
    if (g_mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The folder of this process.
inline const std::filesystem::path& Scratch() {
  static const ScratchFolder folder;
  return folder.path();
}

}  // namespace nuve::fuzz
