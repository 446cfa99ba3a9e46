#include "core/session/closed_tabs.h"

#include <utility>

namespace nuve::core {

void ClosedTabs::Push(ClosedTab closed) {
  tabs_.push_front(std::move(closed));
  while (tabs_.size() > kMaxClosedTabs) tabs_.pop_back();
}

std::optional<ClosedTab> ClosedTabs::Pop() {
  if (tabs_.empty()) return std::nullopt;
  ClosedTab latest = std::move(tabs_.front());
  tabs_.pop_front();
  return latest;
}

}  // namespace nuve::core
