#include "support/temp_home.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace nuve::test {

TempHome::TempHome(bool set_nuve_home) : set_nuve_home_(set_nuve_home) {
  std::string pattern = (std::filesystem::temp_directory_path() / "nuve-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  if (set_nuve_home_) {
    if (const char* old = std::getenv("NUVE_HOME")) {
      previous_home_ = old;
      had_previous_home_ = true;
    }
    setenv("NUVE_HOME", path_.c_str(), 1);
    // Debian's filter lists take seconds to compile; a test that wants them
    // points this at them itself.
    if (const char* old = std::getenv("NUVE_PACKAGED_FILTER_LISTS")) {
      previous_lists_ = old;
      had_previous_lists_ = true;
    }
    setenv("NUVE_PACKAGED_FILTER_LISTS", (path_ / "no-packaged-filter-lists").c_str(), 1);
  }
}

TempHome::~TempHome() {
  if (set_nuve_home_) {
    if (had_previous_home_) {
      setenv("NUVE_HOME", previous_home_.c_str(), 1);
    } else {
      unsetenv("NUVE_HOME");
    }
    if (had_previous_lists_) {
      setenv("NUVE_PACKAGED_FILTER_LISTS", previous_lists_.c_str(), 1);
    } else {
      unsetenv("NUVE_PACKAGED_FILTER_LISTS");
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace nuve::test
