#include "server/http/client_address.h"

#include <arpa/inet.h>

#include <algorithm>

namespace nuve::server {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string ClientAddresses::Canonical(std::string_view text) {
  text = Trim(text);
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
  if (text.empty() || text.size() > INET6_ADDRSTRLEN) return {};
  const std::string copy(text);
  char out[INET6_ADDRSTRLEN] = {};
  in_addr v4{};
  if (inet_pton(AF_INET, copy.c_str(), &v4) == 1) return inet_ntop(AF_INET, &v4, out, sizeof out);
  in6_addr v6{};
  if (inet_pton(AF_INET6, copy.c_str(), &v6) != 1) return {};
  if (IN6_IS_ADDR_V4MAPPED(&v6)) {
    std::copy_n(reinterpret_cast<const unsigned char*>(&v6) + 12, 4, reinterpret_cast<unsigned char*>(&v4));
    return inet_ntop(AF_INET, &v4, out, sizeof out);
  }
  return inet_ntop(AF_INET6, &v6, out, sizeof out);
}

ClientAddresses::ClientAddresses(const std::vector<std::string>& trusted_proxies) {
  for (const std::string& proxy : trusted_proxies) {
    if (std::string canonical = Canonical(proxy); !canonical.empty()) trusted_.push_back(std::move(canonical));
  }
}

bool ClientAddresses::Trusted(const std::string& canonical) const {
  return std::find(trusted_.begin(), trusted_.end(), canonical) != trusted_.end();
}

std::string ClientAddresses::ClientOf(const std::string& peer, std::string_view forwarded_for) const {
  std::string client = Canonical(peer);
  if (client.empty()) client = peer;
  if (!Trusted(client)) return client;
  // Right to left: each trusted proxy appended the address it was talking
  // to; the first one that is not a trusted proxy is the client.
  while (!forwarded_for.empty()) {
    const std::size_t comma = forwarded_for.rfind(',');
    const std::string_view last = comma == std::string_view::npos ? forwarded_for : forwarded_for.substr(comma + 1);
    forwarded_for = comma == std::string_view::npos ? std::string_view() : forwarded_for.substr(0, comma);
    const std::string address = Canonical(last);
    // A word the proxy did not write as an address: its own address is the
    // honest answer (every client behind it then shares the limits).
    if (address.empty()) return client;
    if (!Trusted(address)) return address;
    client = address;
  }
  return client;
}

}  // namespace nuve::server
