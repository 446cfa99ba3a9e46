#include "core/content_blocking/filter_list_digest.h"

#include <glib.h>

#include <algorithm>
#include <memory>

namespace nuve::core {

std::string FilterListDigest(std::string_view bytes) {
  std::unique_ptr<GChecksum, decltype(&g_checksum_free)> sum(g_checksum_new(G_CHECKSUM_SHA256), g_checksum_free);
  // g_checksum_update takes a gssize; feed large texts in pieces.
  constexpr std::size_t kPiece = 1 << 30;
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    const std::size_t n = std::min(kPiece, bytes.size() - at);
    g_checksum_update(sum.get(), reinterpret_cast<const guchar*>(bytes.data() + at), static_cast<gssize>(n));
  }
  return g_checksum_get_string(sum.get());
}

}  // namespace nuve::core
