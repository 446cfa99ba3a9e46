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
#include <utility>
#include <vector>

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

  // Every section and key of the file, as Read finds them, in file order;
  // keys outside any section have the section "". Empty when the file is
  // missing or cannot be read.
  std::vector<std::pair<std::string, std::string>> ListKeys() const;

  // Sets one key, creating the file and its folder when needed. The value is
  // stored as one line of UTF-8 (line breaks become blanks, the value ends at
  // a NUL byte, other text is read as GBK) and reads back without the blanks
  // around it. Errors: kInvalidName for a section or key name that would not
  // read back as itself (not UTF-8, a line break, blanks around it, "]" in a
  // section, an empty key, "=" in a key or a key that begins with ";", "#" or
  // "["), nothing written; kIo when the file cannot be read or written.
  Status Write(std::string_view section, std::string_view key, std::string_view value) const;

  // Removes one key and keeps everything else; a key, section or file that
  // is not there is no error. Errors: kIo when the file cannot be read or
  // written.
  Status Remove(std::string_view section, std::string_view key) const;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  bool owner_only_;
};

}  // namespace nuve::core
