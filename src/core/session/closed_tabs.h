#pragma once
// The tabs closed in one window, for "重新打开关闭的标签页": the latest
// first, at most kMaxClosedTabs of them, each with its place in the strip
// and the engine's record of its back/forward list.

#include <cstddef>
#include <deque>
#include <optional>

#include "core/session/session_list.h"

namespace nuve::core {

inline constexpr std::size_t kMaxClosedTabs = 20;

struct ClosedTab {
  SessionTab tab;
  int index = 0;  // where it stood in the strip
};

class ClosedTabs {
 public:
  // Remembers a closed tab; the oldest one goes when there are too many.
  void Push(ClosedTab closed);
  // The tab closed last, forgotten here; nothing when none is left.
  std::optional<ClosedTab> Pop();
  bool empty() const { return tabs_.empty(); }
  std::size_t size() const { return tabs_.size(); }
  // The latest first.
  const std::deque<ClosedTab>& tabs() const { return tabs_; }

 private:
  std::deque<ClosedTab> tabs_;
};

}  // namespace nuve::core
