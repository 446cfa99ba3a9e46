#pragma once
// An INI file that several threads read and write (login.ini: the window on
// the user-interface thread, the remembered password on a worker). Every
// read and write holds the file's lock, so two writes never lose each
// other's keys.

#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "core/settings/ini_file.h"

namespace nuve::core {

class LockedIniFile {
 public:
  explicit LockedIniFile(std::filesystem::path path, bool owner_only = false)
      : file_(std::move(path), owner_only) {}

  std::string Read(std::string_view section, std::string_view key, std::string_view fallback = {}) const {
    std::lock_guard lock(mutex_);
    return file_.Read(section, key, fallback);
  }
  Status Write(std::string_view section, std::string_view key, std::string_view value) const {
    std::lock_guard lock(mutex_);
    return file_.Write(section, key, value);
  }
  const std::filesystem::path& path() const { return file_.path(); }

 private:
  IniFile file_;
  mutable std::mutex mutex_;
};

}  // namespace nuve::core
