#include "server/api/session_api.h"

#include "server/api/envelope.h"
#include "server/api/input_rules.h"
#include "server/api/profile_json.h"
#include "server/api/reply_texts.h"
#include "server/security/secret_token.h"

namespace nuve::server {

ApiReply SessionApi::Login(const ApiRequest& request) const {
  if (!deps_.config.KnowsAppKey(request.Field("appKey"))) return Refuse(ReplyCode::kRefused, texts::kBadAppKey);
  const std::string& account = request.Field("account");
  const std::string& password = request.Field("password");
  if (account.empty() || password.empty()) return Refuse(ReplyCode::kRefused, texts::kMissingCredentials);
  if (account.size() > 64) return Refuse(ReplyCode::kRefused, texts::kWrongPassword);

  const PasswordAttempt attempt = gate_.Try(account, password);
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

  const PasswordAttempt attempt = gate_.Try(account, old_password);
  std::optional<std::string> new_hash;
  if (attempt.outcome == PasswordAttempt::Outcome::kRight) {
    if (attempt.user->state == UserState::kBanned) return Refuse(ReplyCode::kBanned, texts::kBanned);
    new_hash = deps_.hasher.Hash(new_password);
    if (!new_hash) return Refuse(ReplyCode::kServiceError, texts::kBusy);
  }
  return deps_.store.Write([&](Tx& tx) -> ApiReply {
    if (auto refusal = gate_.Settle(tx, attempt, texts::kWrongOldPassword)) return *refusal;
    tx.SetPasswordHash(attempt.user->id, *new_hash);
    return Succeed(texts::kPasswordChanged);
  });
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
