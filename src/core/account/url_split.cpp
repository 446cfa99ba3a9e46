#include "core/account/url_split.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace nuve::core {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), Lower);
  return text;
}

// Where the host begins: after the first "http://" (case-sensitive), or at
// the first byte when there is none.
std::size_t HostStart(const std::string& url) {
  constexpr std::string_view kPrefix = "http://";
  const std::size_t prefix = url.find(kPrefix);
  return prefix == std::string::npos ? 0 : prefix + kPrefix.size();
}

}  // namespace

std::string UrlHost(const std::string& url, bool keep_port) {
  const std::size_t start = HostStart(url);
  const std::size_t slash = url.find('/', start);
  std::string host = url.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
  if (!keep_port) {
    if (const std::size_t colon = host.find(':'); colon != std::string::npos) host.resize(colon);
  }
  return LowerAscii(std::move(host));
}

std::string UrlPath(const std::string& url) {
  // The path starts at the first "/" after the host; a search for the host
  // text itself would find it inside the scheme ("t" in "http://t/x").
  const std::size_t slash = url.find('/', HostStart(url));
  return slash == std::string::npos ? "/" : url.substr(slash);
}

int UrlPort(const std::string& url) {
  const std::string host_port = UrlHost(url, true);
  const std::size_t colon = host_port.find(':');
  if (colon == std::string::npos) return 80;
  const std::string_view digits = std::string_view(host_port).substr(colon + 1);
  int port = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (ec != std::errc() || end != digits.data() + digits.size() || port < 0) return 0;
  return port;
}

}  // namespace nuve::core
