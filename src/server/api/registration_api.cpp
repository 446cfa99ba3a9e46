#include "server/api/registration_api.h"

#include "server/api/envelope.h"
#include "server/api/image_check.h"
#include "server/api/input_rules.h"
#include "server/api/reply_texts.h"
#include "server/mail/mail_texts.h"
#include "server/security/mail_quota.h"
#include "server/security/secret_token.h"
#include "server/security/security_policy.h"

namespace nuve::server {
namespace {

constexpr std::size_t kMaxNameLength = 20;

// Reserves a mail to `address` and stores what it carries in one
// transaction; nullopt when reserved, else the refusal.
template <class Prepare>
std::optional<ApiReply> ReserveMail(const ServiceDeps& deps, const char* kind, const std::string& address,
                                    const std::string& client, std::int64_t now, std::int64_t& record,
                                    Prepare&& prepare) {
  return deps.store.Write([&](Tx& tx) -> std::optional<ApiReply> {
    const MailReservation r = MailQuota::Reserve(tx, kind, address, client, now);
    if (r.outcome == MailReservation::Outcome::kTooSoon) {
      return Refuse(ReplyCode::kThrottled, texts::MailTooSoon(r.wait_seconds));
    }
    if (r.outcome == MailReservation::Outcome::kDailyCapReached) {
      return Refuse(ReplyCode::kThrottled, texts::kDailyMailCap);
    }
    record = r.record_id;
    prepare(tx);
    return std::nullopt;
  });
}

// The checks of the optional register fields; nullopt when all pass.
std::optional<ApiReply> CheckOptionalFields(const ApiRequest& request) {
  if (request.Has("name") && !request.Field("name").empty() &&
      !IsShortText(request.Field("name"), kMaxNameLength)) {
    return Refuse(ReplyCode::kRefused, texts::kBadName);
  }
  if (request.Has("phone") && !request.Field("phone").empty() && !IsPhoneNumber(request.Field("phone"))) {
    return Refuse(ReplyCode::kRefused, texts::kBadPhone);
  }
  if (request.Has("headImg") && !ImageMimeType(request.Field("headImg"))) {
    return Refuse(ReplyCode::kRefused, texts::kBadImage);
  }
  return std::nullopt;
}

}  // namespace

ApiReply RegistrationApi::Register(const ApiRequest& request) const {
  if (!deps_.config.KnowsAppKey(request.Field("appKey"))) return Refuse(ReplyCode::kRefused, texts::kBadAppKey);
  if (!deps_.config.signups_open) return Refuse(ReplyCode::kRefused, texts::kSignupsClosed);
  const std::string& account = request.Field("account");
  const std::string& email = request.Field("email");
  const std::string& code = request.Field("code");
  if (!IsAccountNumber(account)) return Refuse(ReplyCode::kRefused, texts::kBadAccount);
  if (!IsAcceptablePassword(request.Field("password"))) return Refuse(ReplyCode::kRefused, texts::kBadPassword);
  if (!IsEmailAddress(email)) return Refuse(ReplyCode::kRefused, texts::kBadEmail);
  if (code.empty()) return Refuse(ReplyCode::kRefused, texts::kBadCode);
  if (auto refusal = CheckOptionalFields(request)) return *refusal;
  if (deps_.storage.Low()) return Refuse(ReplyCode::kServiceError, texts::kDiskFull);

  // The slow hash is spent only on a request that has a code to try.
  const std::int64_t now = deps_.clock.NowMs();
  const std::string mailbox = MailboxKey(email);
  if (!deps_.store.Read([&](Tx& tx) { return tx.HasLiveCode(mailbox, now, kRegisterCodeTries); })) {
    return Refuse(ReplyCode::kRefused, texts::kCodeGone);
  }
  const auto hash = deps_.hasher.Hash(request.Field("password"));
  if (!hash) return Refuse(ReplyCode::kServiceError, texts::kBusy);
  const std::string& image = request.Field("headImg");
  const std::string image_hash = image.empty() ? std::string() : Md5Hex(image);

  return deps_.store.Write([&](Tx& tx) -> ApiReply {
    // Each try counts against the code, right or wrong, before anything else.
    const auto expected = tx.TakeCodeTry(mailbox, now, kRegisterCodeTries);
    if (!expected) return Refuse(ReplyCode::kRefused, texts::kCodeGone);
    if (!SameSecret(*expected, code)) return Refuse(ReplyCode::kRefused, texts::kBadCode);
    NewUser user{account, email, *hash, request.Field("name"), request.Field("phone"), image_hash, now};
    const auto id = tx.InsertUser(user);
    if (!id) return Refuse(ReplyCode::kRefused, texts::kAccountTaken);
    if (!image.empty()) tx.SaveImage(image_hash, *ImageMimeType(image), image, now, *id);
    tx.DeleteRegisterCode(mailbox);
    return Succeed(texts::kRegisterOk);
  });
}

ApiReply RegistrationApi::SendRegisterCode(const ApiRequest& request) const {
  if (!deps_.config.KnowsAppKey(request.Field("appKey"))) return Refuse(ReplyCode::kRefused, texts::kBadAppKey);
  if (!deps_.config.signups_open) return Refuse(ReplyCode::kRefused, texts::kSignupsClosed);
  const std::string& email = request.Field("email");
  if (!IsEmailAddress(email)) return Refuse(ReplyCode::kRefused, texts::kBadEmail);
  if (deps_.storage.Low()) return Refuse(ReplyCode::kServiceError, texts::kDiskFull);

  // One live code per mailbox, however its address is spelt.
  const std::string mailbox = MailboxKey(email);
  const std::string code = NewRegisterCode();
  const std::int64_t now = deps_.clock.NowMs();
  std::int64_t record = 0;
  if (auto refusal = ReserveMail(deps_, "code", email, request.client_address, now, record, [&](Tx& tx) {
        tx.PutRegisterCode(mailbox, code, now + kRegisterCodeLifetimeMs);
      })) {
    return *refusal;
  }
  if (!deps_.mailer.Send(RegisterCodeMail(email, code))) {
    // The code never arrived: it goes, and so does its place in the quota.
    deps_.store.Write([&](Tx& tx) {
      tx.DeleteRegisterCode(mailbox);
      MailQuota::Release(tx, record);
    });
    return Refuse(ReplyCode::kServiceError, texts::kMailFailed);
  }
  return Succeed(texts::kCodeSent);
}

ApiReply RegistrationApi::SendPasswordReset(const ApiRequest& request) const {
  if (!deps_.config.KnowsAppKey(request.Field("appKey"))) return Refuse(ReplyCode::kRefused, texts::kBadAppKey);
  const std::string& account = request.Field("account");
  if (account.empty() || account.size() > 64) return Refuse(ReplyCode::kRefused, texts::kNoSuchAccount);
  const auto user = deps_.store.Read([&](Tx& tx) { return tx.FindUserByAccount(account); });
  if (!user) return Refuse(ReplyCode::kRefused, texts::kNoSuchAccount);
  if (user->state == UserState::kBanned) return Refuse(ReplyCode::kBanned, texts::kBanned);
  if (!IsEmailAddress(user->email)) return Refuse(ReplyCode::kRefused, texts::kNoEmail);

  const std::string token = NewSecretToken();
  const std::string digest = TokenDigest(token);
  const std::int64_t now = deps_.clock.NowMs();
  std::int64_t record = 0;
  if (auto refusal = ReserveMail(deps_, "reset", user->email, request.client_address, now, record, [&](Tx& tx) {
        // A new link voids the older ones.
        tx.DeleteResetTokensOf(user->id);
        tx.InsertResetToken(digest, user->id, now + kResetLinkLifetimeMs);
      })) {
    return *refusal;
  }
  const std::string link = deps_.config.public_url + "/reset?t=" + token;
  if (!deps_.mailer.Send(PasswordResetMail(user->email, user->account, link))) {
    deps_.store.Write([&](Tx& tx) {
      tx.TakeResetToken(digest, now);
      MailQuota::Release(tx, record);
    });
    return Refuse(ReplyCode::kServiceError, texts::kMailFailed);
  }
  return Succeed(texts::ResetMailSent(user->email));
}

}  // namespace nuve::server
