#include "core/sync/sync_item.h"

#include <sodium.h>

namespace nuve::core {

std::string NewSyncId() {
  static const bool ready = sodium_init() >= 0;
  (void)ready;
  unsigned char bytes[8];
  randombytes_buf(bytes, sizeof bytes);
  char hex[sizeof bytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  return hex;
}

bool IsSyncId(const std::string& id) {
  if (id.empty() || id.size() > 64) return false;
  for (const char c : id) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace nuve::core
