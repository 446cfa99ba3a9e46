#pragma once
// Splitting of the account service's URLs into host, path and port. Only
// "http://" is recognised as a prefix: the service speaks plain HTTP, and any
// other address splits the way the program has always split it (the host of
// "https://a/b" is "https").

#include <string>

namespace nuve::core {

// The host after "http://" (searched anywhere, case-sensitively; from the
// start when absent) up to the next "/", in lower case. Without keep_port the
// host is cut at its first ":".
std::string UrlHost(const std::string& url, bool keep_port = false);

// Everything from the first "/" after the host to the end, query included;
// "/" when there is none.
std::string UrlPath(const std::string& url);

// The port after the host's first ":", 80 when there is none, 0 when the
// text after the colon is not a number.
int UrlPort(const std::string& url);

}  // namespace nuve::core
