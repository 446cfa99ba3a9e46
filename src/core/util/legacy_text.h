#pragma once
// Text from files that the program's Windows version may have written: those
// are in GBK, everything the program writes now is UTF-8.

#include <string>
#include <string_view>

namespace nuve::core {

// `bytes` as UTF-8: valid UTF-8 stays as it is; anything else is read as GBK;
// bytes that are neither become U+FFFD. Never fails.
std::string DecodeLegacyText(std::string_view bytes);

}  // namespace nuve::core
