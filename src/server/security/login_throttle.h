#pragma once
// The brake on password guessing: after five wrong passwords for one account
// within fifteen minutes, no password of that account is checked until the
// oldest of those failures is fifteen minutes old; and after a number of
// wrong passwords from one client address within the same time, whatever
// the accounts, no password that client sends is checked (against spraying
// one guess over many accounts). The login, the password change and the
// e-mail change share it.

#include <cstdint>
#include <string_view>

#include "server/store/tx.h"

namespace nuve::server {

struct ThrottleVerdict {
  bool blocked = false;
  std::int64_t retry_at = 0;  // when a password is checked again (blocked only)
};

class LoginThrottle {
 public:
  // Reads the failures of `account` as of `now`.
  static ThrottleVerdict Check(Tx& tx, std::string_view account, std::int64_t now);
  // Reads the failures from `client` as of `now`; `allowed` per window.
  static ThrottleVerdict CheckClient(Tx& tx, std::string_view client, std::int64_t now, std::int64_t allowed);
  // Records one wrong password and says whether the account is blocked now.
  static ThrottleVerdict RecordFailure(Tx& tx, std::string_view account, std::string_view client,
                                       std::int64_t now);
  // A right password: the count starts again.
  static void Clear(Tx& tx, std::string_view account);
};

}  // namespace nuve::server
