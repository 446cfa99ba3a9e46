#include "server/api/image_api.h"

#include "server/api/envelope.h"
#include "server/api/image_check.h"
#include "server/api/input_rules.h"
#include "server/api/profile_json.h"
#include "server/api/reply_texts.h"
#include "server/security/security_policy.h"

namespace nuve::server {
namespace {

constexpr char kUploadPrefix[] = "Tavrine_IMG_";
constexpr char kUploadSuffix[] = "_Tavrine.file";
constexpr std::size_t kMaxNameLength = 20;

// The image hash that a headImg value names: a hash, or our own address of
// one; "" clears the avatar. nullopt for anything else.
std::optional<std::string> AvatarHash(const std::string& value, const std::string& public_url) {
  if (value.empty()) return std::string();
  const std::string prefix = public_url + "/img/";
  return ParseMd5Hex(value.starts_with(prefix) ? value.substr(prefix.size()) : value);
}

}  // namespace

std::string UploadToken(const std::string& filename) {
  const std::string prefix = kUploadPrefix;
  const std::string suffix = kUploadSuffix;
  if (filename.size() <= prefix.size() + suffix.size() || !filename.starts_with(prefix) ||
      !filename.ends_with(suffix)) {
    return {};
  }
  return filename.substr(prefix.size(), filename.size() - prefix.size() - suffix.size());
}

ApiReply ImageApi::CheckImage(const ApiRequest& request) const {
  const auto hash = ParseMd5Hex(request.Field("hash"));
  if (!hash) return Refuse(ReplyCode::kRefused, texts::kNoSuchImage);
  const auto image = deps_.store.Read([&](Tx& tx) { return tx.FindImage(*hash); });
  if (!image) return Refuse(ReplyCode::kRefused, texts::kNoSuchImage);
  return Succeed(texts::kOk, ImageJson(*image, deps_.config.public_url));
}

ApiReply ImageApi::UploadImage(const ApiRequest& request) const {
  const auto user_id = auth_.Renew(UploadToken(request.Filename("img")));
  if (!user_id) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  const auto user = deps_.store.Read([&](Tx& tx) { return tx.FindUserById(*user_id); });
  if (!user) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  if (user->state == UserState::kBanned) return Refuse(ReplyCode::kBanned, texts::kBanned);
  const std::string& bytes = request.Field("img");
  const auto mime = ImageMimeType(bytes);
  if (!mime) return Refuse(ReplyCode::kRefused, texts::kBadImage);
  const std::string hash = Md5Hex(bytes);
  const std::int64_t now = deps_.clock.NowMs();
  const bool low = deps_.storage.Low();
  return deps_.store.Write([&](Tx& tx) -> ApiReply {
    // An image the service holds already costs no space and no quota.
    if (!tx.FindImage(hash)) {
      if (low) return Refuse(ReplyCode::kServiceError, texts::kDiskFull);
      if (tx.CountImagesStoredBy(user->id, now - kDayMs) >= kImagesPerDay) {
        return Refuse(ReplyCode::kThrottled, texts::kImagesToday);
      }
      if (tx.CountImagesStoredBy(user->id, 0) >= kImagesInAll) return Refuse(ReplyCode::kRefused, texts::kImagesInAll);
    }
    const ImageRecord saved = tx.SaveImage(hash, *mime, bytes, now, user->id);
    return Succeed(texts::kUploadOk, ImageJson(saved, deps_.config.public_url));
  });
}

ApiReply ImageApi::UpdateUserInfo(const ApiRequest& request) const {
  const auto user_id = auth_.Renew(request.Field("token"));
  if (!user_id) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  // The address where reset links go changes only with the password and a
  // link to the new address (/api/changeEmail.e): a token alone, stolen,
  // must not take the account over for good.
  if (request.Has("email")) return Refuse(ReplyCode::kRefused, texts::kEmailNeedsPassword);
  if (deps_.storage.Low()) return Refuse(ReplyCode::kServiceError, texts::kDiskFull);
  ProfileChange change;
  change.name = request.Optional("name");
  change.phone = request.Optional("phone");
  if (change.name && !change.name->empty() && !IsShortText(*change.name, kMaxNameLength)) {
    return Refuse(ReplyCode::kRefused, texts::kBadName);
  }
  if (change.phone && !change.phone->empty() && !IsPhoneNumber(*change.phone)) {
    return Refuse(ReplyCode::kRefused, texts::kBadPhone);
  }
  if (const auto head = request.Optional("headImg")) {
    change.head_hash = AvatarHash(*head, deps_.config.public_url);
    if (!change.head_hash) return Refuse(ReplyCode::kRefused, texts::kAvatarNotUploaded);
  }
  if (!change.name && !change.phone && !change.head_hash) {
    return Refuse(ReplyCode::kRefused, texts::kNothingToChange);
  }
  return deps_.store.Write([&](Tx& tx) -> ApiReply {
    const auto user = tx.FindUserById(*user_id);
    if (!user) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
    if (user->state == UserState::kBanned) return Refuse(ReplyCode::kBanned, texts::kBanned);
    if (change.head_hash && !change.head_hash->empty() && !tx.FindImage(*change.head_hash)) {
      return Refuse(ReplyCode::kRefused, texts::kAvatarNotUploaded);
    }
    tx.UpdateProfile(*user_id, change);
    return Succeed(texts::kProfileUpdated);
  });
}

std::optional<ImageContent> ImageApi::Image(const std::string& hash) const {
  const auto valid = ParseMd5Hex(hash);
  if (!valid) return std::nullopt;
  return deps_.store.Read([&](Tx& tx) { return tx.ImageBytes(*valid); });
}

}  // namespace nuve::server
