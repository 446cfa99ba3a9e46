#include "core/passwords/site_origin.h"

#include <glib.h>

namespace nuve::core {
namespace {

int DefaultPort(std::string_view scheme) { return scheme == "https" ? 443 : 80; }

// The host as it goes into an origin; "" when it cannot be one.
std::string OriginHost(const char* host) {
  if (host == nullptr || *host == '\0') return {};
  if (g_hostname_is_ip_address(host)) {
    gchar* lower = g_ascii_strdown(host, -1);
    std::string ip = lower;
    g_free(lower);
    return ip.find(':') != std::string::npos ? "[" + ip + "]" : ip;
  }
  gchar* ascii = g_hostname_to_ascii(host);
  if (ascii == nullptr) return {};
  gchar* lower = g_ascii_strdown(ascii, -1);
  std::string name = lower;
  g_free(lower);
  g_free(ascii);
  // Whatever GLib let through that no host name holds.
  if (name.find_first_of("/\\?#@ \t\r\n") != std::string::npos) return {};
  return name;
}

}  // namespace

std::string SiteOriginOf(std::string_view url) {
  if (url.find('\0') != std::string_view::npos) return {};
  GUri* uri = g_uri_parse(std::string(url).c_str(), G_URI_FLAGS_NONE, nullptr);
  if (uri == nullptr) return {};
  const char* raw_scheme = g_uri_get_scheme(uri);
  gchar* lower_scheme = g_ascii_strdown(raw_scheme != nullptr ? raw_scheme : "", -1);
  const std::string scheme = lower_scheme;
  g_free(lower_scheme);
  const std::string host = OriginHost(g_uri_get_host(uri));
  const int port = g_uri_get_port(uri);
  g_uri_unref(uri);
  if ((scheme != "http" && scheme != "https") || host.empty()) return {};
  std::string origin = scheme + "://" + host;
  if (port >= 0 && port != DefaultPort(scheme)) origin += ":" + std::to_string(port);
  return origin;
}

std::string SiteHostOf(std::string_view origin) {
  const std::size_t start = origin.find("://");
  if (start == std::string_view::npos || SiteOriginOf(origin) != origin) return {};
  std::string_view rest = origin.substr(start + 3);
  if (rest.starts_with("[")) return std::string(rest.substr(0, rest.find(']') + 1));
  return std::string(rest.substr(0, rest.find(':')));
}

bool MayFillOn(std::string_view saved, std::string_view page) { return !saved.empty() && saved == page; }

}  // namespace nuve::core
