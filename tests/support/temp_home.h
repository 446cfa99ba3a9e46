#pragma once
// A fresh temporary folder, removed again when the object goes away. With
// set_nuve_home it also becomes $NUVE_HOME for the test's lifetime, and
// $NUVE_PACKAGED_FILTER_LISTS names an empty place (no Debian filter lists).

#include <filesystem>
#include <optional>
#include <string>

namespace nuve::test {

class TempHome {
 public:
  explicit TempHome(bool set_nuve_home = true);
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  bool set_nuve_home_;
  std::optional<std::string> previous_home_;
  std::optional<std::string> previous_lists_;
};

// Reads a whole file as bytes ("" when it cannot be read).
std::string ReadFileBytes(const std::filesystem::path& file);
// Writes bytes to a file, replacing it.
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);

}  // namespace nuve::test
