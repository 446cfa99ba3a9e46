#include "core/app/address.h"

#include <array>
#include <cctype>

#include <glib.h>

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

// The host[:port] part of a scheme-less address.
std::string_view HostPart(std::string_view s) {
  return s.substr(0, s.find_first_of("/?#"));
}

bool HasPort(std::string_view host) {
  const auto colon = host.rfind(':');
  if (colon == std::string_view::npos || colon + 1 == host.size()) return false;
  for (char c : host.substr(colon + 1)) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

}  // namespace

bool IsSearchText(std::string_view typed) {
  const std::string_view text = Trim(typed);
  if (text.empty() || HasScheme(text)) return false;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) return true;
  }
  const std::string_view host = HostPart(text);
  if (host.empty()) return false;          // "/path": left to the engine
  if (host.front() == '[') return false;   // an IPv6 literal
  if (host.find('.') != std::string_view::npos || HasPort(host)) return false;
  return !EqualsNoCase(host, "localhost");
}

std::string SearchAddress(std::string_view query_template, std::string_view words) {
  const std::string text(Trim(words));
  gchar* escaped = g_uri_escape_string(text.c_str(), nullptr, FALSE);
  const std::string encoded = escaped != nullptr ? escaped : "";
  g_free(escaped);
  std::string address(query_template);
  const auto at = address.find("%s");
  if (at == std::string::npos) return address + encoded;
  return address.replace(at, 2, encoded);
}

std::string AddressForTyped(std::string_view typed, std::string_view query_template) {
  if (IsSearchText(typed)) return SearchAddress(query_template, typed);
  return NormaliseAddress(typed);
}

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
