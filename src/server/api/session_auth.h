#pragma once
// Finds the user behind a login token and renews the session: a session
// unused for the configured time is gone.

#include <cstdint>
#include <optional>
#include <string>

#include "server/api/service_deps.h"

namespace nuve::server {

class SessionAuth {
 public:
  explicit SessionAuth(const ServiceDeps& deps) : deps_(deps) {}

  // The user id of a live session, which now counts as used; nullopt for an
  // unknown, malformed or expired token. The renewal is the check; renewals
  // that arrive together share one transaction.
  std::optional<std::int64_t> Renew(const std::string& token) const;

 private:
  const ServiceDeps& deps_;
};

// Whether `token` has the form the service hands out (64 hex digits).
bool IsTokenShaped(const std::string& token);

}  // namespace nuve::server
