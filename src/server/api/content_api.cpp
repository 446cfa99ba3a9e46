#include "server/api/content_api.h"

#include "server/api/envelope.h"
#include "server/api/input_rules.h"
#include "server/api/profile_json.h"
#include "server/api/reply_texts.h"
#include "server/security/security_policy.h"

namespace nuve::server {
namespace {

constexpr std::size_t kMaxTitle = 50;
constexpr std::size_t kMaxFeedback = 2000;
constexpr std::size_t kMaxKey = 64;
constexpr std::size_t kMaxValueBytes = 32 * 1024;
constexpr std::int64_t kMaxKeysPerUser = 200;
constexpr std::int64_t kAnnouncementsListed = 50;

}  // namespace

std::variant<User, ApiReply> ContentApi::WritingUser(const ApiRequest& request) const {
  const auto user_id = auth_.Renew(request.Field("token"));
  if (!user_id) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  const auto user = deps_.store.Read([&](Tx& tx) { return tx.FindUserById(*user_id); });
  if (!user) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  if (user->state == UserState::kBanned) return Refuse(ReplyCode::kBanned, texts::kBanned);
  return *user;
}

ApiReply ContentApi::Feedback(const ApiRequest& request) const {
  auto who = WritingUser(request);
  if (auto* refusal = std::get_if<ApiReply>(&who)) return *refusal;
  const User& user = std::get<User>(who);
  const std::string& title = request.Field("title");
  const std::string& content = request.Field("content");
  if (!IsShortText(title, kMaxTitle)) return Refuse(ReplyCode::kRefused, texts::kBadTitle);
  if (content.empty() || Utf8Length(content) > kMaxFeedback || !HasNoControlCharacters(content, true)) {
    return Refuse(ReplyCode::kRefused, texts::kBadContent);
  }
  if (deps_.storage.Low()) return Refuse(ReplyCode::kServiceError, texts::kDiskFull);
  const std::int64_t now = deps_.clock.NowMs();
  return deps_.store.Write([&](Tx& tx) -> ApiReply {
    if (tx.CountFeedbackSince(user.id, now - kDayMs) >= kFeedbackPerDay) {
      return Refuse(ReplyCode::kThrottled, texts::kFeedbackToday);
    }
    tx.InsertFeedback(user.id, title, content, now);
    return Succeed(texts::kFeedbackOk);
  });
}

ApiReply ContentApi::ListAnnouncements(const ApiRequest& request) const {
  if (!deps_.config.KnowsAppKey(request.Field("appKey"))) return Refuse(ReplyCode::kRefused, texts::kBadAppKey);
  const auto list = deps_.store.Read([&](Tx& tx) { return tx.ListAnnouncements(kAnnouncementsListed); });
  nlohmann::json payload = nlohmann::json::array();
  for (const Announcement& a : list) payload.push_back(AnnouncementJson(a));
  return Succeed(texts::kOk, payload);
}

ApiReply ContentApi::GetAnnouncement(const ApiRequest& request) const {
  if (!deps_.config.KnowsAppKey(request.Field("appKey"))) return Refuse(ReplyCode::kRefused, texts::kBadAppKey);
  std::optional<std::int64_t> id;
  if (request.Has("id")) {
    id = ParseId(request.Field("id"));
    if (!id) return Refuse(ReplyCode::kRefused, texts::kBadId);
  }
  const auto found = deps_.store.Read([&](Tx& tx) { return tx.FindAnnouncement(id); });
  if (!found) return Refuse(ReplyCode::kRefused, texts::kNoSuchAnnouncement);
  return Succeed(texts::kOk, AnnouncementJson(*found));
}

ApiReply ContentApi::GetUserData(const ApiRequest& request) const {
  const auto user_id = auth_.Renew(request.Field("token"));
  if (!user_id) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  const std::string& key = request.Field("key");
  if (!IsShortText(key, kMaxKey)) return Refuse(ReplyCode::kRefused, texts::kBadKey);
  const auto value = deps_.store.Read([&](Tx& tx) { return tx.UserData(*user_id, key); });
  return Succeed(texts::kOk, value ? nlohmann::json(*value) : nlohmann::json(nullptr));
}

ApiReply ContentApi::SetUserData(const ApiRequest& request) const {
  auto who = WritingUser(request);
  if (auto* refusal = std::get_if<ApiReply>(&who)) return *refusal;
  const std::int64_t user_id = std::get<User>(who).id;
  const std::string& key = request.Field("key");
  const std::string& value = request.Field("value");
  if (!IsShortText(key, kMaxKey)) return Refuse(ReplyCode::kRefused, texts::kBadKey);
  if (value.size() > kMaxValueBytes) return Refuse(ReplyCode::kRefused, texts::kValueTooLong);
  const std::int64_t now = deps_.clock.NowMs();
  const bool low = deps_.storage.Low();
  return deps_.store.Write([&](Tx& tx) -> ApiReply {
    const auto old = tx.UserData(user_id, key);
    const auto old_size = static_cast<std::int64_t>(old ? old->size() : 0);
    const auto new_size = static_cast<std::int64_t>(value.size());
    // Below the reserve a value may still shrink.
    if (low && new_size > old_size) return Refuse(ReplyCode::kServiceError, texts::kDiskFull);
    if (!old && tx.CountUserData(user_id) >= kMaxKeysPerUser) return Refuse(ReplyCode::kRefused, texts::kTooManyKeys);
    if (new_size > old_size && tx.UserDataBytes(user_id) - old_size + new_size > kUserDataBytes) {
      return Refuse(ReplyCode::kRefused, texts::kUserDataFull);
    }
    tx.PutUserData(user_id, key, value, now);
    return Succeed(texts::kSaved);
  });
}

}  // namespace nuve::server
