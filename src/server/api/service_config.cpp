#include "server/api/service_config.h"

#include <algorithm>

#include "server/security/secret_token.h"

namespace nuve::server {

bool ServiceConfig::KnowsAppKey(const std::string& key) const {
  return std::any_of(app_keys.begin(), app_keys.end(), [&](const std::string& k) { return SameSecret(k, key); });
}

}  // namespace nuve::server
