#pragma once
// The pages the user removed from the start page's "最常访问": one address
// a line in a small file of the data folder. A missing file is an empty
// list; a damaged one keeps what reads as addresses. The file never grows
// past kMaxEntries addresses: the oldest removals are forgotten first.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "core/util/status.h"

namespace nuve::core {

class RemovedPages {
 public:
  static constexpr std::size_t kMaxEntries = 1000;
  static constexpr std::size_t kMaxAddressBytes = 8 * 1024;

  // `max_entries` (at most kMaxEntries) is for tests.
  explicit RemovedPages(std::filesystem::path file, std::size_t max_entries = kMaxEntries)
      : file_(std::move(file)), max_entries_(max_entries < kMaxEntries ? max_entries : kMaxEntries) {}

  // The removed addresses, oldest first.
  std::vector<std::string> Load() const;
  // Adds `url` (once; an empty or over-long address, or one holding a line
  // break, is refused with kInvalidName). The file is replaced atomically.
  Status Add(const std::string& url) const;

 private:
  std::filesystem::path file_;
  std::size_t max_entries_;
};

}  // namespace nuve::core
