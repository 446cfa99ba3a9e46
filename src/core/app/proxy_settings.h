#pragma once
// The proxy given on the command line: one host:port for every scheme.

#include <string>
#include <string_view>

namespace nuve::core {

// "host:port".
std::string ProxyAddress(std::string_view host, std::string_view port);

// The proxy list in the form the program has always kept it:
// "ftp= P;http= P;https= P;socks= P" with P = host:port.
std::string ProxyListText(std::string_view host, std::string_view port);

// The proxy URI the web engine and the plain GETs use: "http://host:port".
std::string ProxyUri(std::string_view host, std::string_view port);

}  // namespace nuve::core
