#pragma once
// One INI file, read and written key by key at the moment of use, the way the
// program has always kept its settings. Parsing is lenient: a malformed line
// is skipped and never hides the other keys. A file that is not UTF-8 (one
// written by the Windows version) is read as GBK. Every write replaces one key
// and keeps everything else, and goes through a temporary file and a rename,
// so a crash never leaves a half-written file.

#include <filesystem>
#include <string>
#include <string_view>

#include "core/util/status.h"

namespace nuve::core {

class IniFile {
 public:
  // `owner_only` files (login.ini holds a password) are created with mode 0600.
  explicit IniFile(std::filesystem::path path, bool owner_only = false);

  // The value of `key` in `section`; `fallback` when the file, section or key
  // is missing or the file cannot be read.
  std::string Read(std::string_view section, std::string_view key,
                   std::string_view fallback = {}) const;

  // Sets one key, creating the file and its folder when needed.
  Status Write(std::string_view section, std::string_view key, std::string_view value) const;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  bool owner_only_;
};

}  // namespace nuve::core
