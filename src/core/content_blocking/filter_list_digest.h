#pragma once
// The digest that names a converted filter list in the compiled cache (and
// a subscription address in the settings): SHA-256 as 64 lower-case hex
// digits, by GLib.

#include <string>
#include <string_view>

namespace nuve::core {

std::string FilterListDigest(std::string_view bytes);

}  // namespace nuve::core
