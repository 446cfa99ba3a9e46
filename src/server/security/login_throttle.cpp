#include "server/security/login_throttle.h"

#include "server/security/security_policy.h"

namespace nuve::server {

ThrottleVerdict LoginThrottle::Check(Tx& tx, std::string_view account, std::int64_t now) {
  // A failure exactly as old as the window has left it.
  const std::int64_t since = now - kLoginFailureWindowMs + 1;
  if (tx.CountLoginFailures(account, since) < kLoginFailuresAllowed) return {};
  return {true, tx.OldestLoginFailure(account, since) + kLoginFailureWindowMs};
}

ThrottleVerdict LoginThrottle::CheckClient(Tx& tx, std::string_view client, std::int64_t now,
                                           std::int64_t allowed) {
  const std::int64_t since = now - kLoginFailureWindowMs + 1;
  if (client.empty() || tx.CountClientFailures(client, since) < allowed) return {};
  return {true, tx.OldestClientFailure(client, since) + kLoginFailureWindowMs};
}

ThrottleVerdict LoginThrottle::RecordFailure(Tx& tx, std::string_view account, std::string_view client,
                                             std::int64_t now) {
  tx.InsertLoginFailure(account, client, now);
  return Check(tx, account, now);
}

void LoginThrottle::Clear(Tx& tx, std::string_view account) { tx.ClearLoginFailures(account); }

}  // namespace nuve::server
