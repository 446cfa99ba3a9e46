// Feeds arbitrary bytes to the account service's request readers: the
// multipart splitter must never read outside the body and every part it
// returns must lie inside it; the UTF-8 check must agree with GLib's.

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/api/input_rules.h"
#include "server/api/multipart_body.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // The first line, if any, is the Content-Type; the rest the body.
  const std::size_t newline = text.find('\n');
  const std::string_view type = newline == std::string_view::npos ? std::string_view() : text.substr(0, newline);
  const std::string_view body = newline == std::string_view::npos ? text : text.substr(newline + 1);
  const std::string boundary = nuve::server::MultipartBoundary(type);
  for (const std::string& b : {boundary, std::string("b")}) {
    if (const auto parts = nuve::server::ParseMultipartBody(body, b)) {
      std::size_t total = 0;
      for (const auto& part : *parts) total += part.content.size();
      if (total > body.size()) std::abort();
    }
  }

  const bool ours = nuve::server::IsValidUtf8(text);
  const bool glib = g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
  if (ours != glib) std::abort();
  if (ours && nuve::server::Utf8Length(text) > text.size()) std::abort();
  return 0;
}
