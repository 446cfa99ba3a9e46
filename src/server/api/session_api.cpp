#include "server/api/session_api.h"

#include "server/api/envelope.h"
#include "server/api/input_rules.h"
#include "server/api/profile_json.h"
#include "server/api/reply_texts.h"
#include "server/mail/mail_texts.h"
#include "server/security/mail_quota.h"
#include "server/security/secret_token.h"
#include "server/security/security_policy.h"

namespace nuve::server {

ApiReply SessionApi::Login(const ApiRequest& request) const {
  if (!deps_.config.KnowsAppKey(request.Field("appKey"))) return Refuse(ReplyCode::kRefused, texts::kBadAppKey);
  const std::string& account = request.Field("account");
  const std::string& password = request.Field("password");
  if (account.empty() || password.empty()) return Refuse(ReplyCode::kRefused, texts::kMissingCredentials);
  if (account.size() > 64) return Refuse(ReplyCode::kRefused, texts::kWrongPassword);

  const PasswordAttempt attempt = gate_.Try(account, password, request.client_address);
  // A hash made at another strength is renewed while the password is at hand.
  std::optional<std::string> renewed_hash;
  if (attempt.outcome == PasswordAttempt::Outcome::kRight && deps_.hasher.NeedsRehash(attempt.user->password_hash)) {
    renewed_hash = deps_.hasher.Hash(password);
  }
  const std::string token = NewSecretToken();
  const std::string digest = TokenDigest(token);
  return deps_.store.Write([&](Tx& tx) -> ApiReply {
    if (auto refusal = gate_.Settle(tx, attempt, texts::kWrongPassword)) return *refusal;
    const std::int64_t id = attempt.user->id;
    if (renewed_hash) tx.SetPasswordHash(id, *renewed_hash);
    tx.RecordLogin(id, attempt.now, request.client_address);
    tx.InsertSession(digest, id, attempt.now);
    return Succeed(texts::kLoginOk, token);
  });
}

ApiReply SessionApi::KeepAlive(const ApiRequest& request) const {
  if (!auth_.Renew(request.Field("token"))) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  return Succeed(texts::kOk);
}

ApiReply SessionApi::Info(const ApiRequest& request) const {
  const auto user_id = auth_.Renew(request.Field("token"));
  if (!user_id) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  const auto user = deps_.store.Read([&](Tx& tx) { return tx.FindUserById(*user_id); });
  if (!user) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  return Succeed(texts::kOk, OwnProfile(*user, deps_.config.public_url));
}

ApiReply SessionApi::ChangePassword(const ApiRequest& request) const {
  if (!deps_.config.KnowsAppKey(request.Field("appKey"))) return Refuse(ReplyCode::kRefused, texts::kBadAppKey);
  const std::string& account = request.Field("account");
  const std::string& old_password = request.Field("oldPwd");
  const std::string& new_password = request.Field("newPwd");
  if (account.empty() || old_password.empty() || account.size() > 64) {
    return Refuse(ReplyCode::kRefused, texts::kWrongOldPassword);
  }
  if (!IsAcceptablePassword(new_password)) return Refuse(ReplyCode::kRefused, texts::kBadPassword);

  const PasswordAttempt attempt = gate_.Try(account, old_password, request.client_address);
  std::optional<std::string> new_hash;
  if (attempt.outcome == PasswordAttempt::Outcome::kRight) {
    if (attempt.user->state == UserState::kBanned) return Refuse(ReplyCode::kBanned, texts::kBanned);
    new_hash = deps_.hasher.Hash(new_password);
    if (!new_hash) return Refuse(ReplyCode::kServiceError, texts::kBusy);
  }
  // The session that asked stays; whoever else knew the old password is
  // logged out.
  const std::string& token = request.Field("token");
  const std::string keep = IsTokenShaped(token) ? TokenDigest(token) : std::string();
  return deps_.store.Write([&](Tx& tx) -> ApiReply {
    if (auto refusal = gate_.Settle(tx, attempt, texts::kWrongOldPassword)) return *refusal;
    const std::int64_t id = attempt.user->id;
    tx.SetPasswordHash(id, *new_hash);
    const auto asking = keep.empty() ? std::nullopt : tx.FindSession(keep);
    if (asking && asking->user_id == id) {
      tx.DeleteOtherSessionsOf(id, keep);
    } else {
      tx.DeleteSessionsOf(id);
    }
    // A change of address asked for with the old password goes too.
    tx.DeleteEmailChangesOf(id);
    return Succeed(texts::kPasswordChanged);
  });
}

ApiReply SessionApi::ChangeEmail(const ApiRequest& request) const {
  const auto user_id = auth_.Renew(request.Field("token"));
  if (!user_id) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  const std::string& password = request.Field("password");
  const std::string& email = request.Field("email");
  if (password.empty()) return Refuse(ReplyCode::kRefused, texts::kWrongCurrentPassword);
  if (!IsEmailAddress(email)) return Refuse(ReplyCode::kRefused, texts::kBadEmail);
  const auto user = deps_.store.Read([&](Tx& tx) { return tx.FindUserById(*user_id); });
  if (!user) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  if (user->state == UserState::kBanned) return Refuse(ReplyCode::kBanned, texts::kBanned);
  if (MailboxKey(email) == MailboxKey(user->email)) return Refuse(ReplyCode::kRefused, texts::kSameEmail);
  if (deps_.storage.Low()) return Refuse(ReplyCode::kServiceError, texts::kDiskFull);

  const PasswordAttempt attempt = gate_.Try(user->account, password, request.client_address);
  const std::string token = NewSecretToken();
  const std::string digest = TokenDigest(token);
  std::int64_t record = 0;
  const auto refusal = deps_.store.Write([&](Tx& tx) -> std::optional<ApiReply> {
    if (auto refused = gate_.Settle(tx, attempt, texts::kWrongCurrentPassword)) return refused;
    const MailReservation r = MailQuota::Reserve(tx, "email", email, request.client_address, attempt.now);
    if (r.outcome == MailReservation::Outcome::kTooSoon) {
      return Refuse(ReplyCode::kThrottled, texts::MailTooSoon(r.wait_seconds));
    }
    if (r.outcome == MailReservation::Outcome::kDailyCapReached) {
      return Refuse(ReplyCode::kThrottled, texts::kDailyMailCap);
    }
    record = r.record_id;
    // A new link voids the older ones.
    tx.DeleteEmailChangesOf(user->id);
    tx.InsertEmailChange(digest, user->id, email, attempt.now + kEmailLinkLifetimeMs);
    return std::nullopt;
  });
  if (refusal) return *refusal;
  // The owner hears of it first, at the address that still counts; without
  // that notice there is no change.
  const bool told = !IsEmailAddress(user->email) ||
                    deps_.mailer.Send(EmailChangeNotice(user->email, user->account, texts::MaskedEmail(email)));
  const std::string link = deps_.config.public_url + "/email?t=" + token;
  if (!told || !deps_.mailer.Send(EmailChangeMail(email, user->account, link))) {
    deps_.store.Write([&](Tx& tx) {
      tx.TakeEmailChange(digest, attempt.now);
      MailQuota::Release(tx, record);
    });
    return Refuse(ReplyCode::kServiceError, texts::kMailFailed);
  }
  return Succeed(texts::EmailChangeMailSent(email));
}

ApiReply SessionApi::UserInfoById(const ApiRequest& request) const {
  if (!auth_.Renew(request.Field("token"))) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  const auto uid = ParseId(request.Field("uid"));
  if (!uid) return Refuse(ReplyCode::kRefused, texts::kBadId);
  const auto user = deps_.store.Read([&](Tx& tx) { return tx.FindUserById(*uid); });
  if (!user) return Refuse(ReplyCode::kRefused, texts::kNoSuchUser);
  return Succeed(texts::kOk, PublicProfile(*user, deps_.config.public_url));
}

}  // namespace nuve::server
