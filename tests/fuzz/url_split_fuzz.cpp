// Splits arbitrary text as an account-service URL and checks what the three
// parts promise on any input: the host is one lower-case name without a "/"
// (and without a ":" unless the port is kept), the path starts with "/", and
// the port is never negative.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/account/url_split.h"

using nuve::core::UrlHost;
using nuve::core::UrlPath;
using nuve::core::UrlPort;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);

  const std::string host = UrlHost(url);
  const std::string host_port = UrlHost(url, true);
  for (const char c : host_port) {
    if (c == '/' || (c >= 'A' && c <= 'Z')) std::abort();
  }
  if (host.find(':') != std::string::npos) std::abort();
  // The host is the host-and-port cut at its first colon.
  if (host_port.compare(0, host.size(), host) != 0) std::abort();
  if (host.size() != host_port.size() && host_port[host.size()] != ':') std::abort();

  const std::string path = UrlPath(url);
  if (path.empty() || path.front() != '/') std::abort();
  if (path.size() > url.size() && path != "/") std::abort();

  const int port = UrlPort(url);
  if (port < 0) std::abort();
  if (host_port.find(':') == std::string::npos && port != 80) std::abort();
  return 0;
}
