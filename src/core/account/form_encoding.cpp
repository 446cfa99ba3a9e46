#include "core/account/form_encoding.h"

namespace nuve::core {

std::string FormEncode(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size() * 3);
  for (const char c : value) {
    const auto b = static_cast<unsigned char>(c);
    const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                            (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' || b == '~';
    if (unreserved) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    }
  }
  return out;
}

FormBody& FormBody::Add(std::string_view name, std::string_view value) {
  if (!text_.empty()) text_.push_back('&');
  text_.append(name);
  text_.push_back('=');
  text_.append(FormEncode(value));
  return *this;
}

}  // namespace nuve::core
