#pragma once
// Whom a request comes from. On a connection from a trusted proxy (a TLS
// front or load balancer the operator names with --trusted-proxy) it is the
// client that proxy names in X-Forwarded-For: the last address there that is
// not itself a trusted proxy. On any other connection the header is the
// client's own word and counts for nothing.

#include <string>
#include <string_view>
#include <vector>

namespace nuve::server {

class ClientAddresses {
 public:
  // Addresses that are not IP addresses are left out; see Valid.
  explicit ClientAddresses(const std::vector<std::string>& trusted_proxies = {});

  // `peer`: the connection's address as text; `forwarded_for`: every
  // X-Forwarded-For value of the request, joined with commas ("" for none).
  std::string ClientOf(const std::string& peer, std::string_view forwarded_for) const;
  bool HasTrustedProxies() const { return !trusted_.empty(); }

  // An IP address in its usual text form ("::ffff:192.0.2.1" becomes
  // "192.0.2.1"); "" when `text` is not one.
  static std::string Canonical(std::string_view text);

 private:
  bool Trusted(const std::string& canonical) const;
  std::vector<std::string> trusted_;
};

}  // namespace nuve::server
