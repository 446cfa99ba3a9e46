// Reads the version label out of arbitrary version-source replies. The first
// line of the input is the version key, the rest the reply. The label is
// always UTF-8 text without a double quote, and only found behind the key.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <glib.h>

#include "core/app/version_lookup.h"
#include "utf8_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string key(input.substr(0, newline));
  const std::string reply(newline == std::string_view::npos ? std::string_view()
                                                            : input.substr(newline + 1));

  const std::string label = nuve::core::ExtractVersionLabel(reply, key);
  if (label.find('"') != std::string::npos) std::abort();
  if (!nuve::fuzz::IsUtf8(label)) std::abort();
  if (!label.empty() && (key.empty() || reply.find(key) == std::string::npos) &&
      g_utf8_validate(reply.data(), static_cast<gssize>(reply.size()), nullptr)) {
    std::abort();
  }
  if (label.empty() && nuve::core::IsNewerVersionPublished(label)) std::abort();
  return 0;
}
