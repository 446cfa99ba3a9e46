#pragma once
// The browser's own account client, pointed at a service on 127.0.0.1. This
// is the one place that builds one for the service's tests.

#include <chrono>
#include <string>

#include "core/account/account_client.h"
#include "core/account/login_session.h"
#include "core/account/user_info.h"

namespace nuve::test {

struct BrowserClient {
  explicit BrowserClient(const std::string& service_host, const std::string& app_key = core::kApplicationKey)
      : client(session, service_host, app_key) {
    client.SetTimeoutSeconds(30);
  }

  // The keep-alive thread never fires within a test; tests renew by hand.
  core::LoginSession session{std::chrono::hours(1), [] {}};
  core::AccountClient client;
};

}  // namespace nuve::test
