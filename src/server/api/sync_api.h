#pragma once
// The favourites sync: each account's key record and encrypted favourites.
// The service stores what the browser sends and compares and swaps the
// generation and revision; it never sees a key, a name or an address.

#include <variant>

#include "server/api/api_request.h"
#include "server/api/service_deps.h"
#include "server/api/session_auth.h"

namespace nuve::server {

// Encrypted favourites above this size are refused.
inline constexpr std::size_t kMaxSyncBlobBytes = 2'000'000;

class SyncApi {
 public:
  explicit SyncApi(const ServiceDeps& deps) : deps_(deps), auth_(deps) {}

  // token[, revision] -> {generation, revision, keyReset, key, blob, unchanged}.
  ApiReply Get(const ApiRequest& request) const;
  // token, generation, fresh, kdf, ops, mem, salt, wrapped -> {generation, revision}.
  ApiReply PutKey(const ApiRequest& request) const;
  // (multipart) token, generation, revision, blob -> {revision}.
  ApiReply Put(const ApiRequest& request) const;

 private:
  std::variant<std::int64_t, ApiReply> WritingUser(const ApiRequest& request) const;

  const ServiceDeps& deps_;
  SessionAuth auth_;
};

}  // namespace nuve::server
