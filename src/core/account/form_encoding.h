#pragma once
// Values of application/x-www-form-urlencoded bodies.

#include <string>
#include <string_view>

namespace nuve::core {

// `value` (UTF-8) percent-encoded byte by byte: the unreserved characters
// A-Z a-z 0-9 "-" "." "_" "~" stay, every other byte becomes "%XX" with
// upper-case hex digits. So "&", "=", "+" and "%" in a password arrive as
// typed instead of splitting the body or standing for a blank.
std::string FormEncode(std::string_view value);

// Builds "name=value&name=value..." with every value encoded.
class FormBody {
 public:
  FormBody& Add(std::string_view name, std::string_view value);
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace nuve::core
