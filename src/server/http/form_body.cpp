#include "server/http/form_body.h"

#include <microhttpd.h>

#include <algorithm>

namespace nuve::server {
namespace {

std::string Decode(std::string_view text) {
  std::string out(text);
  std::replace(out.begin(), out.end(), '+', ' ');
  // A raw NUL would end the library's text early; kept, it makes the field
  // fail the service's text check instead of being cut short unseen.
  if (out.find('\0') != std::string::npos) return out;
  // The library decodes %XX in place and leaves a broken escape as it is.
  out.resize(MHD_http_unescape(out.data()));
  return out;
}

}  // namespace

void ParseFormBody(std::string_view body, std::map<std::string, std::string, std::less<>>& fields) {
  while (!body.empty()) {
    const std::size_t amp = std::min(body.find('&'), body.size());
    const std::string_view pair = body.substr(0, amp);
    body.remove_prefix(std::min(amp + 1, body.size()));
    const std::size_t eq = pair.find('=');
    const std::string_view name = pair.substr(0, eq);
    if (name.empty()) continue;
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    fields.emplace(Decode(name), Decode(value));
  }
}

}  // namespace nuve::server
