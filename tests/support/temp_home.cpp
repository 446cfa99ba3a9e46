#include "support/temp_home.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "support/test_environment.h"

namespace nuve::test {

TempHome::TempHome(bool set_nuve_home) : set_nuve_home_(set_nuve_home) {
  std::string pattern = (std::filesystem::temp_directory_path() / "nuve-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  if (set_nuve_home_) {
    previous_home_ = TestEnvironment("NUVE_HOME");
    SetTestEnvironment("NUVE_HOME", path_.string());
    // Debian's filter lists take seconds to compile; a test that wants them
    // points this at them itself.
    previous_lists_ = TestEnvironment("NUVE_PACKAGED_FILTER_LISTS");
    SetTestEnvironment("NUVE_PACKAGED_FILTER_LISTS", (path_ / "no-packaged-filter-lists").string());
  }
}

TempHome::~TempHome() {
  if (set_nuve_home_) {
    RestoreTestEnvironment("NUVE_HOME", previous_home_);
    RestoreTestEnvironment("NUVE_PACKAGED_FILTER_LISTS", previous_lists_);
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
