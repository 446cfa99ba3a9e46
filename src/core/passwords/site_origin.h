#pragma once
// The site a saved password belongs to: the origin of the page it was typed
// on, scheme, host and port ("https://example.com", "http://127.0.0.1:8080").
// Only http and https pages have one; nothing else is ever saved or filled.

#include <string>
#include <string_view>

namespace nuve::core {

// The origin of `url`: scheme and host in lower case, the port only when it
// is not the scheme's default, an IPv6 host in brackets, an international
// host name in its ASCII form. "" when `url` is not an http or https address
// with a host.
std::string SiteOriginOf(std::string_view url);

// The host of an origin, as the user reads it ("example.com"); "" for
// anything that is not an origin.
std::string SiteHostOf(std::string_view origin);

// Whether a password saved for the origin `saved` may be filled into a page
// of the origin `page`. Only the very same origin: an http page never gets a
// password saved on https (nor the other way round), and another port or
// another host name, a sub-domain included, is another site.
bool MayFillOn(std::string_view saved, std::string_view page);

}  // namespace nuve::core
