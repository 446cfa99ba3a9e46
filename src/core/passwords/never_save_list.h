#pragma once
// The sites whose passwords the user asked never to save ("从不保存此网站"):
// origins in "never-save.ini" of the data folder, one key each in the
// section [从不保存] (written as "1"; any value counts). The list holds no secret; passwords
// themselves are never in a file of NUVE's. Read and written on the
// user-interface thread, key by key, like every settings file.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/ini_file.h"

namespace nuve::core {

class NeverSaveList {
 public:
  explicit NeverSaveList(std::filesystem::path file) : file_(std::move(file)) {}

  bool Contains(std::string_view origin) const;
  // Adds `origin` (an origin as SiteOriginOf gives it). Errors: kInvalidName
  // for text that is no origin, kIo when the file cannot be written.
  Status Add(std::string_view origin) const;
  Status Remove(std::string_view origin) const;
  // Every origin on the list, sorted.
  std::vector<std::string> Origins() const;

 private:
  IniFile file_;
};

}  // namespace nuve::core
