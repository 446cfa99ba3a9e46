#include "core/account/service_address.h"

#include <glib.h>

#include <algorithm>

namespace nuve::core {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && g_ascii_strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

ServiceAddress::ServiceAddress(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (StartsWithNoCase(text, "https://")) {
    tls_ = true;
    text.remove_prefix(8);
  } else if (StartsWithNoCase(text, "http://")) {
    text.remove_prefix(7);
  }
  host_port_ = std::string(text.substr(0, text.find('/')));
}

std::string ServiceAddress::BaseUrl() const { return (tls_ ? "https://" : "http://") + host_port_; }

std::string ServiceAddress::Host() const {
  std::string_view host = host_port_;
  if (host.starts_with('[')) {
    host = host.substr(0, host.find(']') == std::string_view::npos ? host.size() : host.find(']') + 1);
  } else {
    host = host.substr(0, host.find(':'));
  }
  std::string lower;
  for (const char c : host) lower += g_ascii_tolower(c);
  return lower;
}

bool ServiceAddress::IsLoopback() const {
  const std::string host = Host();
  if (host == "localhost" || host == "[::1]") return true;
  // 127.0.0.0/8, written as a dotted address.
  if (!host.starts_with("127.")) return false;
  return std::all_of(host.begin(), host.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

}  // namespace nuve::core
