#pragma once
// One visited page as the history keeps it.

#include <cstdint>
#include <string>

namespace nuve::core {

struct HistoryEntry {
  std::string url;
  std::string title;
  int visits = 0;
  std::int64_t last_visit = 0;  // seconds since the epoch (UTC)

  bool operator==(const HistoryEntry&) const = default;
};

}  // namespace nuve::core
