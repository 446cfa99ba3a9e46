#pragma once
// Concatenation of byte strings, as the multipart bodies are assembled.

#include <string>
#include <string_view>

namespace nuve::core {

// The byte strings joined in argument order; no arguments, or only empty
// ones, give "".
template <typename... Parts>
std::string JoinBytes(const Parts&... parts) {
  std::string out;
  out.reserve((std::string_view(parts).size() + ... + 0));
  (out.append(std::string_view(parts)), ...);
  return out;
}

}  // namespace nuve::core
