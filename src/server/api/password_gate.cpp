#include "server/api/password_gate.h"

#include <algorithm>

#include "server/api/envelope.h"
#include "server/api/reply_texts.h"
#include "server/security/login_throttle.h"

namespace nuve::server {

PasswordAttempt PasswordGate::Try(const std::string& account, const std::string& password,
                                  const std::string& client) const {
  PasswordAttempt attempt;
  attempt.account = account;
  attempt.client = client;
  attempt.now = deps_.clock.NowMs();
  ThrottleVerdict verdict;
  ThrottleVerdict client_verdict;
  deps_.store.Read([&](Tx& tx) {
    attempt.user = tx.FindUserByAccount(account);
    verdict = LoginThrottle::Check(tx, account, attempt.now);
    client_verdict =
        LoginThrottle::CheckClient(tx, client, attempt.now, deps_.config.login_failures_per_client);
  });
  if (verdict.blocked || client_verdict.blocked) {
    attempt.outcome = PasswordAttempt::Outcome::kThrottled;
    attempt.retry_at = std::max(verdict.retry_at, client_verdict.retry_at);
    return attempt;
  }
  bool right = false;
  if (attempt.user) {
    right = deps_.hasher.Verify(attempt.user->password_hash, password);
  } else {
    deps_.hasher.VerifyNothing(password);  // an unknown account takes as long
  }
  attempt.outcome = right ? PasswordAttempt::Outcome::kRight : PasswordAttempt::Outcome::kWrong;
  return attempt;
}

std::optional<ApiReply> PasswordGate::Settle(Tx& tx, const PasswordAttempt& attempt,
                                             const char* wrong_message) const {
  const auto throttled = [&](std::int64_t retry_at) {
    return Refuse(ReplyCode::kThrottled, texts::TooManyFailures(retry_at - attempt.now));
  };
  if (attempt.outcome == PasswordAttempt::Outcome::kThrottled) return throttled(attempt.retry_at);
  if (attempt.outcome == PasswordAttempt::Outcome::kWrong) {
    const ThrottleVerdict now_blocked =
        LoginThrottle::RecordFailure(tx, attempt.account, attempt.client, attempt.now);
    if (now_blocked.blocked) return throttled(now_blocked.retry_at);
    return Refuse(ReplyCode::kRefused, wrong_message);
  }
  const ThrottleVerdict verdict = LoginThrottle::Check(tx, attempt.account, attempt.now);
  if (verdict.blocked) return throttled(verdict.retry_at);
  const ThrottleVerdict client_verdict =
      LoginThrottle::CheckClient(tx, attempt.client, attempt.now, deps_.config.login_failures_per_client);
  if (client_verdict.blocked) return throttled(client_verdict.retry_at);
  const std::optional<User> current = tx.FindUserByAccount(attempt.account, true);
  if (!current || current->password_hash != attempt.user->password_hash) {
    return Refuse(ReplyCode::kRefused, wrong_message);
  }
  LoginThrottle::Clear(tx, attempt.account);
  return std::nullopt;
}

}  // namespace nuve::server
