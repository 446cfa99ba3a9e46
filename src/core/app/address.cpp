#include "core/app/address.h"

#include <algorithm>
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

bool UsesBlockedPort(std::string_view address) {
  static constexpr std::array<int, 81> kBadPorts = {
      0,    1,    7,    9,    11,   13,   15,   17,   19,   20,   21,   22,   23,   25,   37,   42,   43,
      53,   69,   77,   79,   87,   95,   101,  102,  103,  104,  109,  110,  111,  113,  115,  117,  119,
      123,  135,  137,  139,  143,  161,  179,  389,  427,  465,  512,  513,  514,  515,  526,  530,  531,
      532,  540,  548,  554,  556,  563,  587,  601,  636,  989,  990,  993,  995,  1719, 1720, 1723, 2049,
      3659, 4045, 4190, 5060, 5061, 6000, 6566, 6665, 6666, 6667, 6668, 6669, 6697};
  const std::string text(Trim(address));
  if (!StartsWithNoCase(text, "http://") && !StartsWithNoCase(text, "https://")) return false;
  GUri* uri = g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (uri == nullptr) return false;
  const int port = g_uri_get_port(uri);
  g_uri_unref(uri);
  if (port < 0) return false;  // the scheme's own port
  return std::find(kBadPorts.begin(), kBadPorts.end(), port) != kBadPorts.end() || port == 10080;
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
