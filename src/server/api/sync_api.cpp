#include "server/api/sync_api.h"

#include <sodium.h>

#include "server/api/envelope.h"
#include "server/api/input_rules.h"
#include "server/api/reply_texts.h"

namespace nuve::server {
namespace {

constexpr char kBadSyncRequest[] = "同步请求格式错误";
constexpr char kSyncTooLarge[] = "收藏太多，超出了同步的上限（2 MB）";
constexpr char kSyncConflict[] = "收藏已被另一台电脑更新，请重新同步";
constexpr char kSyncKeyReset[] = "密码已重置，需要重新开始同步";
constexpr char kNoSyncKey[] = "尚未设置同步密钥";

// Sizes of what the browser sends (libsodium's salt, a wrapped 32-byte key:
// nonce + key + tag), and the limits of the key derivation it may ask for.
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kWrappedKeyBytes = 24 + 32 + 16;
constexpr std::size_t kMinBlobBytes = 24 + 16;
constexpr std::int64_t kMaxKdfOps = 16;
constexpr std::int64_t kMaxKdfMem = 1024ll * 1024 * 1024;

std::string Base64(const std::string& bytes) {
  std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  out.resize(out.size() - 1);
  return out;
}

std::optional<std::string> FromBase64(const std::string& text, std::size_t max_bytes) {
  if (text.size() > (max_bytes / 3 + 1) * 4) return std::nullopt;
  std::string out(text.size() / 4 * 3 + 3, '\0');
  std::size_t written = 0;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(), text.size(), nullptr,
                        &written, nullptr, sodium_base64_VARIANT_ORIGINAL) != 0) {
    return std::nullopt;
  }
  out.resize(written);
  return out;
}

// A whole number 0 <= n < 2^63 ("0" included, unlike an id).
std::optional<std::int64_t> ParseCount(const std::string& text) {
  if (text == "0") return 0;
  return ParseId(text);
}

nlohmann::json StateJson(const std::optional<SyncRecord>& record, std::optional<std::int64_t> known) {
  nlohmann::json out = {{"generation", 0}, {"revision", 0}, {"keyReset", false},
                        {"key", nullptr},  {"blob", nullptr}, {"unchanged", false}};
  if (!record) return out;
  out["generation"] = record->generation;
  out["revision"] = record->revision;
  out["keyReset"] = record->key_reset;
  out["key"] = {{"kdf", record->kdf},
                {"ops", record->kdf_ops},
                {"mem", record->kdf_mem},
                {"salt", Base64(record->salt)},
                {"wrapped", Base64(record->wrapped_key)}};
  if (known && *known == record->revision) {
    out["unchanged"] = true;
  } else if (record->blob) {
    out["blob"] = Base64(*record->blob);
  }
  return out;
}

}  // namespace

std::variant<std::int64_t, ApiReply> SyncApi::WritingUser(const ApiRequest& request) const {
  const auto user_id = auth_.Renew(request.Field("token"));
  if (!user_id) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  const auto user = deps_.store.Read([&](Tx& tx) { return tx.FindUserById(*user_id); });
  if (!user) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  if (user->state == UserState::kBanned) return Refuse(ReplyCode::kBanned, texts::kBanned);
  return *user_id;
}

ApiReply SyncApi::Get(const ApiRequest& request) const {
  const auto user_id = auth_.Renew(request.Field("token"));
  if (!user_id) return Refuse(ReplyCode::kNotLoggedIn, texts::kNotLoggedIn);
  std::optional<std::int64_t> known;
  if (request.Has("revision")) {
    known = ParseCount(request.Field("revision"));
    if (!known) return Refuse(ReplyCode::kRefused, kBadSyncRequest);
  }
  const auto record = deps_.store.Read([&](Tx& tx) { return tx.SyncRecordOf(*user_id); });
  return Succeed(texts::kOk, StateJson(record, known));
}

ApiReply SyncApi::PutKey(const ApiRequest& request) const {
  auto who = WritingUser(request);
  if (auto* refusal = std::get_if<ApiReply>(&who)) return *refusal;
  const std::int64_t user_id = std::get<std::int64_t>(who);
  SyncKeyWrite key;
  const auto generation = ParseCount(request.Field("generation"));
  const auto ops = ParseId(request.Field("ops"));
  const auto mem = ParseId(request.Field("mem"));
  const auto salt = FromBase64(request.Field("salt"), kSaltBytes);
  const auto wrapped = FromBase64(request.Field("wrapped"), kWrappedKeyBytes);
  const std::string& fresh = request.Field("fresh");
  if (!generation || !ops || !mem || !salt || !wrapped || salt->size() != kSaltBytes ||
      wrapped->size() != kWrappedKeyBytes || request.Field("kdf") != "argon2id13" || *ops > kMaxKdfOps ||
      *mem > kMaxKdfMem || (fresh != "0" && fresh != "1")) {
    return Refuse(ReplyCode::kRefused, kBadSyncRequest);
  }
  key.generation = *generation;
  key.fresh = fresh == "1";
  key.kdf = "argon2id13";
  key.kdf_ops = *ops;
  key.kdf_mem = *mem;
  key.salt = *salt;
  key.wrapped_key = *wrapped;
  const std::int64_t now = deps_.clock.NowMs();
  const auto written = deps_.store.Write([&](Tx& tx) { return tx.PutSyncKey(user_id, key, now); });
  if (!written) return Refuse(ReplyCode::kConflict, kSyncConflict);
  return Succeed(texts::kSaved, {{"generation", written->first}, {"revision", written->second}});
}

ApiReply SyncApi::Put(const ApiRequest& request) const {
  auto who = WritingUser(request);
  if (auto* refusal = std::get_if<ApiReply>(&who)) return *refusal;
  const std::int64_t user_id = std::get<std::int64_t>(who);
  const auto generation = ParseId(request.Field("generation"));
  const auto revision = ParseCount(request.Field("revision"));
  const std::string& blob = request.Field("blob");
  if (!generation || !revision || blob.size() < kMinBlobBytes) return Refuse(ReplyCode::kRefused, kBadSyncRequest);
  if (blob.size() > kMaxSyncBlobBytes) return Refuse(ReplyCode::kRefused, kSyncTooLarge);
  const std::int64_t now = deps_.clock.NowMs();
  return deps_.store.Write([&](Tx& tx) -> ApiReply {
    const auto record = tx.SyncRecordOf(user_id);
    if (!record) return Refuse(ReplyCode::kRefused, kNoSyncKey);
    if (record->key_reset) return Refuse(ReplyCode::kRefused, kSyncKeyReset);
    const auto stored = tx.PutSyncBlob(user_id, *generation, *revision, blob, now);
    if (!stored) return Refuse(ReplyCode::kConflict, kSyncConflict);
    return Succeed(texts::kSaved, {{"revision", *stored}});
  });
}

}  // namespace nuve::server
