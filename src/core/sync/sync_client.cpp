#include "core/sync/sync_client.h"

#include <nlohmann/json.hpp>

#include "core/account/form_encoding.h"
#include "core/account/http_transport.h"

namespace nuve::core {
namespace {

using nlohmann::json;

constexpr char kBoundary[] = "nuve-favourites-7c1f0a9e3b52";

std::string Part(const std::string& name, const std::string& value) {
  return std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
         "\r\n";
}

// A stop request from either token ends the call.
class EitherStop {
 public:
  EitherStop(std::stop_token a, std::stop_token b)
      : on_a_(std::move(a), [this] { source_.request_stop(); }), on_b_(std::move(b), [this] { source_.request_stop(); }) {}
  std::stop_token token() const { return source_.get_token(); }

 private:
  std::stop_source source_;
  std::stop_callback<std::function<void()>> on_a_;
  std::stop_callback<std::function<void()>> on_b_;
};

bool ReadInt(const json& j, const char* name, std::int64_t& out) {
  if (!j.contains(name) || !j[name].is_number_integer()) return false;
  out = j[name].get<std::int64_t>();
  return out >= 0;
}

bool ReadKey(const json& j, RemoteKey& key) {
  if (!j.is_object()) return false;
  for (const char* name : {"kdf", "salt", "wrapped"}) {
    if (!j.contains(name) || !j[name].is_string()) return false;
  }
  if (j["kdf"].get<std::string>() != "argon2id13") return false;
  std::int64_t ops = 0;
  std::int64_t mem = 0;
  if (!ReadInt(j, "ops", ops) || !ReadInt(j, "mem", mem)) return false;
  const auto salt = FromBase64(j["salt"].get<std::string>());
  const auto wrapped = FromBase64(j["wrapped"].get<std::string>());
  if (!salt || !wrapped) return false;
  key.kdf = {static_cast<std::uint64_t>(ops), static_cast<std::uint64_t>(mem), *salt};
  key.wrapped = *wrapped;
  return true;
}

}  // namespace

SyncReply ReadSyncEnvelope(const std::string& body, std::string& payload) {
  if (body.empty()) return {SyncReplyKind::kOffline, "no reply"};
  const json doc = json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (!doc.is_object() || !doc.contains("code") || !doc["code"].is_number_integer() || !doc.contains("message") ||
      !doc["message"].is_string()) {
    return {SyncReplyKind::kBadReply, "the reply is not the service's envelope"};
  }
  const int code = doc["code"].get<int>();
  std::string message = doc["message"].get<std::string>();
  switch (code) {
    case 0:
      if (!doc.contains("responseBody")) return {SyncReplyKind::kBadReply, "the reply has no responseBody"};
      payload = doc["responseBody"].dump();
      return {SyncReplyKind::kOk, std::move(message)};
    case 2: return {SyncReplyKind::kNotLoggedIn, std::move(message)};
    case 5: return {SyncReplyKind::kOffline, std::move(message)};
    case 6: return {SyncReplyKind::kConflict, std::move(message)};
    default: return {SyncReplyKind::kRefused, std::move(message)};
  }
}

bool ReadRemoteState(const std::string& payload, RemoteState& out) {
  const json j = json::parse(payload, nullptr, false);
  if (!j.is_object()) return false;
  RemoteState state;
  if (!ReadInt(j, "generation", state.generation) || !ReadInt(j, "revision", state.revision)) return false;
  if (j.contains("keyReset")) {
    if (!j["keyReset"].is_boolean()) return false;
    state.key_reset = j["keyReset"].get<bool>();
  }
  if (j.contains("unchanged")) {
    if (!j["unchanged"].is_boolean()) return false;
    state.unchanged = j["unchanged"].get<bool>();
  }
  if (j.contains("key") && !j["key"].is_null()) {
    RemoteKey key;
    if (!ReadKey(j["key"], key)) return false;
    state.key = std::move(key);
  }
  if (j.contains("blob") && !j["blob"].is_null()) {
    if (!j["blob"].is_string()) return false;
    auto blob = FromBase64(j["blob"].get<std::string>());
    if (!blob) return false;
    state.blob = std::move(*blob);
  }
  if (state.generation > 0 && !state.key) return false;
  out = std::move(state);
  return true;
}

SyncClient::SyncClient(LoginSession& session, std::string service_host, std::stop_token stop)
    : session_(session), address_(service_host), shutdown_(std::move(stop)) {}

SyncReply SyncClient::Call(const std::string& path, const std::string& body, const std::string& headers,
                           std::string& payload, std::stop_token stop) {
  EitherStop either(shutdown_, std::move(stop));
  RequestOptions options;
  options.method = "POST";
  options.body = body;
  options.headers = headers;
  options.timeout_seconds = timeout_seconds_;
  options.stop = either.token();
  return ReadSyncEnvelope(SendRequest(address_.BaseUrl() + path, options), payload);
}

SyncReply SyncClient::Get(std::int64_t known_revision, RemoteState& out, std::stop_token stop) {
  FormBody body;
  body.Add("token", session_.Token());
  if (known_revision >= 0) body.Add("revision", std::to_string(known_revision));
  std::string payload;
  SyncReply reply = Call("/api/sync/get.e", body.Text(), "", payload, std::move(stop));
  if (reply.kind == SyncReplyKind::kOk && !ReadRemoteState(payload, out)) {
    return {SyncReplyKind::kBadReply, "the favourites reply is malformed"};
  }
  if (reply.kind == SyncReplyKind::kOk && out.unchanged && out.revision != known_revision) {
    return {SyncReplyKind::kBadReply, "an unchanged reply for another revision"};
  }
  return reply;
}

SyncReply SyncClient::PutKey(std::int64_t generation, bool fresh, const RemoteKey& key, RemoteState& out,
                             std::stop_token stop) {
  const std::string body = FormBody()
                               .Add("token", session_.Token())
                               .Add("generation", std::to_string(generation))
                               .Add("fresh", fresh ? "1" : "0")
                               .Add("kdf", "argon2id13")
                               .Add("ops", std::to_string(key.kdf.ops))
                               .Add("mem", std::to_string(key.kdf.mem))
                               .Add("salt", ToBase64(key.kdf.salt))
                               .Add("wrapped", ToBase64(key.wrapped))
                               .Text();
  std::string payload;
  SyncReply reply = Call("/api/sync/key.e", body, "", payload, std::move(stop));
  if (reply.kind != SyncReplyKind::kOk) return reply;
  const json j = json::parse(payload, nullptr, false);
  if (!j.is_object() || !ReadInt(j, "generation", out.generation) || !ReadInt(j, "revision", out.revision) ||
      out.generation != (fresh ? generation + 1 : generation)) {
    return {SyncReplyKind::kBadReply, "the key reply is malformed"};
  }
  return reply;
}

SyncReply SyncClient::Put(std::int64_t generation, std::int64_t revision, const std::string& blob,
                          std::int64_t& new_revision, std::stop_token stop) {
  std::string body = Part("token", session_.Token()) + Part("generation", std::to_string(generation)) +
                     Part("revision", std::to_string(revision));
  body += std::string("--") + kBoundary +
          "\r\nContent-Disposition: form-data; name=\"blob\"; filename=\"favourites.bin\"\r\n"
          "Content-Type: application/octet-stream\r\n\r\n" +
          blob + "\r\n--" + kBoundary + "--\r\n";
  const std::string headers = std::string("Content-Type: multipart/form-data; boundary=") + kBoundary + "\r\n";
  std::string payload;
  SyncReply reply = Call("/api/sync/put.e", body, headers, payload, std::move(stop));
  if (reply.kind != SyncReplyKind::kOk) return reply;
  const json j = json::parse(payload, nullptr, false);
  std::int64_t got = 0;
  if (!j.is_object() || !ReadInt(j, "revision", got) || got != revision + 1) {
    return {SyncReplyKind::kBadReply, "the upload reply is malformed"};
  }
  new_revision = got;
  return reply;
}

}  // namespace nuve::core
