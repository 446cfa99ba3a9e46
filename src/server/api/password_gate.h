#pragma once
// Checks an account's password under the login throttle, for the login,
// the password change and the e-mail change. The slow hash runs outside any write transaction, so
// a burst of logins never holds up other writers; the outcome is settled in
// the operation's own transaction, which sees every failure recorded in the
// meantime: parallel guesses cannot get past the throttle, and a right
// password found beyond it is not revealed.

#include <cstdint>
#include <optional>
#include <string>

#include "server/api/api_request.h"
#include "server/api/service_deps.h"

namespace nuve::server {

struct PasswordAttempt {
  enum class Outcome { kRight, kWrong, kThrottled };
  Outcome outcome = Outcome::kWrong;
  std::string account;
  std::string client;         // the client's address
  std::optional<User> user;   // as read before the check
  std::int64_t now = 0;
  std::int64_t retry_at = 0;  // kThrottled
};

class PasswordGate {
 public:
  explicit PasswordGate(const ServiceDeps& deps) : deps_(deps) {}

  // No password is checked (nothing is hashed) for a throttled account or
  // client.
  PasswordAttempt Try(const std::string& account, const std::string& password, const std::string& client) const;

  // Inside the operation's write transaction: a refusal when the attempt does
  // not stand (wrong password, which is recorded; throttled; or the password
  // changed in the meantime), else nullopt with the account's failures
  // cleared. `wrong_message` is the refusal for a wrong password.
  std::optional<ApiReply> Settle(Tx& tx, const PasswordAttempt& attempt, const char* wrong_message) const;

 private:
  const ServiceDeps& deps_;
};

}  // namespace nuve::server
