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

}  // namespace

std::string UrlHost(const std::string& url, bool keep_port) {
  constexpr std::string_view kPrefix = "http://";
  const std::size_t prefix = url.find(kPrefix);
  const std::size_t start = prefix == std::string::npos ? 0 : prefix + kPrefix.size();
  const std::size_t slash = url.find('/', start);
  std::string host = url.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
  if (!keep_port) {
    if (const std::size_t colon = host.find(':'); colon != std::string::npos) host.resize(colon);
  }
  return LowerAscii(std::move(host));
}

std::string UrlPath(const std::string& url) {
  const std::string host = UrlHost(url);
  // The host is already in lower case, so a lower-case copy of the URL makes
  // the search case-insensitive. "/" has no case, so its search needs none.
  const std::size_t at = LowerAscii(url).find(host);
  if (at == std::string::npos) return "/";
  const std::size_t slash = url.find('/', at);
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
