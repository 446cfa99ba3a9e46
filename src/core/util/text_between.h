#pragma once

#include <string>
#include <string_view>

namespace nuve::core {

// The text between the first `left` and the next `right` after it, once the
// first `skip` bytes of `text` are dropped (the caller's text is shortened by
// them too). An empty `left` means "from the start", an empty `right` "to the
// end". "" when a marker is missing.
std::string TextBetween(std::string& text, std::string_view left, std::string_view right,
                        std::size_t skip);

}  // namespace nuve::core
