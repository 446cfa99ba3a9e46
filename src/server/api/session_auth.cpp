#include "server/api/session_auth.h"

#include "server/security/secret_token.h"

namespace nuve::server {

bool IsTokenShaped(const std::string& token) {
  if (token.size() != 64) return false;
  for (const char c : token) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::optional<std::int64_t> SessionAuth::Renew(const std::string& token) const {
  if (!IsTokenShaped(token)) return std::nullopt;
  const std::string digest = TokenDigest(token);
  const std::int64_t now = deps_.clock.NowMs();
  const std::int64_t valid_since = now - deps_.config.session_ttl_ms;
  return deps_.sessions.Renew(digest, now, valid_since);
}

}  // namespace nuve::server
