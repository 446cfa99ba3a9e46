#include "core/app/address.h"

#include <array>
#include <cctype>

namespace nuve::core {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  }
  return true;
}

bool HasScheme(std::string_view s) {
  // "scheme://..." of any scheme; the few schemes written without slashes are
  // listed, so that "host:port/path" is still taken for a host.
  const auto colon = s.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  for (size_t i = 0; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.')) return false;
  }
  if (s.substr(colon, 3) == "://") return true;
  static constexpr std::array<std::string_view, 6> kOpaque = {"about:", "data:", "javascript:",
                                                              "mailto:", "view-source:", "blob:"};
  for (auto scheme : kOpaque) {
    if (StartsWithNoCase(s, scheme)) return true;
  }
  return false;
}

std::string_view StripHttp(std::string_view s) {
  if (StartsWithNoCase(s, "http://")) s.remove_prefix(7);
  if (!s.empty() && s.back() == '/') s.remove_suffix(1);
  return s;
}

}  // namespace

std::string NormaliseAddress(std::string_view typed) {
  const std::string_view text = Trim(typed);
  if (text.empty()) return {};
  if (HasScheme(text)) return std::string(text);
  return "http://" + std::string(text);
}

bool IsSameAddress(std::string_view address, std::string_view portal) {
  if (portal.empty()) return false;
  return StripHttp(address) == StripHttp(portal);
}

}  // namespace nuve::core
