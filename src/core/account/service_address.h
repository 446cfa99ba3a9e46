#pragma once
// The account service's address as configured: host[:port] for plain HTTP,
// or "https://host[:port]" for TLS. Every request and the default version
// source are built from it.

#include <string>
#include <string_view>

namespace nuve::core {

class ServiceAddress {
 public:
  // Reads "host[:port]", "http://host[:port]" or "https://host[:port]"
  // (scheme in any case); a path or trailing "/" after the host is dropped.
  explicit ServiceAddress(std::string_view text);

  bool tls() const { return tls_; }
  // host[:port] as written.
  const std::string& host_port() const { return host_port_; }
  // "http://host[:port]" or "https://host[:port]": what request paths follow.
  std::string BaseUrl() const;
  // The host alone, in lower case ("[::1]" keeps its brackets).
  std::string Host() const;
  // localhost, 127.0.0.0/8 or ::1: traffic that never leaves the machine.
  bool IsLoopback() const;
  // Plain HTTP to another machine: passwords cross the network readable.
  bool SendsInClear() const { return !tls_ && !IsLoopback(); }

 private:
  bool tls_ = false;
  std::string host_port_;
};

}  // namespace nuve::core
