#include "core/util/text_between.h"

namespace nuve::core {

std::string TextBetween(std::string& text, std::string_view left, std::string_view right,
                        std::size_t skip) {
  if (skip != 0) text.erase(0, std::min(skip, text.size()));
  if (right.empty()) {
    const auto at = text.find(left);
    if (at == std::string::npos) return {};
    return text.substr(at + left.size());
  }
  if (left.empty()) {
    const auto at = text.find(right);
    if (at == std::string::npos) return {};
    return text.substr(0, at);
  }
  const auto at = text.find(left);
  if (at == std::string::npos) return {};
  const auto rest = at + left.size();
  const auto end = text.find(right, rest);
  if (end == std::string::npos) return {};
  return text.substr(rest, end - rest);
}

}  // namespace nuve::core
