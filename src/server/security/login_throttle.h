#pragma once
// The brake on password guessing: after five wrong passwords for one account
// within fifteen minutes, no password of that account is checked until the
// oldest of those failures is fifteen minutes old. The login and the
// password change share it.

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
  // Records one wrong password and says whether the account is blocked now.
  static ThrottleVerdict RecordFailure(Tx& tx, std::string_view account, std::int64_t now);
  // A right password: the count starts again.
  static void Clear(Tx& tx, std::string_view account);
};

}  // namespace nuve::server
