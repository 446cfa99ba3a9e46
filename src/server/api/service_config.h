#pragma once
// The settings the endpoints follow, fixed at start.

#include <cstdint>
#include <string>
#include <vector>

namespace nuve::server {

// The application key the browser sends.
inline constexpr char kDefaultAppKey[] = "7a1e0c92-4b3d-4e8f-a615-2c9d8b0f4e37";
// The label the version channel publishes until an operator sets another.
inline constexpr char kDefaultPublishedVersion[] = "beta M1.3.00";
// The key under which the version channel publishes the label: the browser's
// version key, one build setting for both programs (NUVE_DEFAULT_VERSION_KEY).
inline constexpr char kDefaultVersionKey[] = NUVE_DEFAULT_VERSION_KEY_TEXT;

struct ServiceConfig {
  std::vector<std::string> app_keys{kDefaultAppKey};
  bool signups_open = true;
  std::int64_t session_ttl_ms = 10 * 60 * 1000;
  // The service's address as users reach it ("http://127.0.0.1:8808"): the
  // base of reset links and avatar addresses. Never taken from a request's
  // Host header, which a client chooses.
  std::string public_url = "http://127.0.0.1:8808";
  std::string version_key = kDefaultVersionKey;
  std::string published_version = kDefaultPublishedVersion;
  // Wrong passwords one client address may send per throttle window.
  std::int64_t login_failures_per_client = 30;

  bool KnowsAppKey(const std::string& key) const;
};

}  // namespace nuve::server
