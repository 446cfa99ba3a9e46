#pragma once
// The favourites endpoints of the account service (docs/account-service.md,
// "Favourites sync"): the key record and the encrypted favourites of the
// logged-in account, written with compare-and-swap on their generation and
// revision. Replies are read strictly: anything that is not the documented
// envelope with the documented fields counts as a bad reply. Calls block:
// run them off the user-interface thread.

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

#include "core/account/login_session.h"
#include "core/account/service_address.h"
#include "core/sync/sync_crypto.h"

namespace nuve::core {

enum class SyncReplyKind {
  kOk,
  kConflict,     // the generation or revision named is no longer the service's
  kNotLoggedIn,  // the login token is gone
  kRefused,      // the service said no (too large, banned, ...): `message` says why
  kOffline,      // no answer: no network, no service, a time-out
  kBadReply,     // an answer that is not what the endpoint answers
};

struct SyncReply {
  SyncReplyKind kind = SyncReplyKind::kOffline;
  std::string message;  // the service's message, or what was wrong with its reply
};

// The key record: how to derive the key-encryption key, and the data key
// wrapped with it.
struct RemoteKey {
  KdfParams kdf;
  std::string wrapped;
};

// What the service holds for the account.
struct RemoteState {
  std::int64_t generation = 0;  // 0: no key record yet
  std::int64_t revision = 0;
  bool key_reset = false;  // the password was reset since the key was made
  std::optional<RemoteKey> key;
  std::optional<std::string> blob;  // the encrypted favourites; none uploaded yet
  bool unchanged = false;  // the revision is the one the client named; no blob sent
};

class SyncClient {
 public:
  // `session` gives the login token; a stop request on `stop` ends a call
  // at once (the program's shutdown).
  SyncClient(LoginSession& session, std::string service_host, std::stop_token stop = {});

  void SetTimeoutSeconds(int seconds) { timeout_seconds_ = seconds; }

  // The account's state. With `known_revision` >= 0 the favourites are left
  // out when that is still their revision.
  SyncReply Get(std::int64_t known_revision, RemoteState& out, std::stop_token stop = {});
  // Stores a key record, if the service's generation is still `generation`
  // (0: none yet). `fresh`: a new data key, whose generation is one more and
  // which drops the stored favourites; otherwise the same key wrapped anew.
  // `out` receives the new generation and revision.
  SyncReply PutKey(std::int64_t generation, bool fresh, const RemoteKey& key, RemoteState& out,
                   std::stop_token stop = {});
  // Stores encrypted favourites as revision `revision` + 1, if the service
  // is still at `generation` and `revision`. `new_revision` receives it.
  SyncReply Put(std::int64_t generation, std::int64_t revision, const std::string& blob,
                std::int64_t& new_revision, std::stop_token stop = {});

 private:
  SyncReply Call(const std::string& path, const std::string& body, const std::string& headers,
                 std::string& payload, std::stop_token stop);

  LoginSession& session_;
  ServiceAddress address_;
  std::stop_token shutdown_;
  int timeout_seconds_ = 60;
};

// Reads one reply body of the sync endpoints: the envelope, and the
// responseBody's JSON text into `payload`. Public for the fuzz target.
SyncReply ReadSyncEnvelope(const std::string& body, std::string& payload);
// Reads the responseBody of /api/sync/get.e (and of a key write) into `out`;
// false when a field is missing or malformed.
bool ReadRemoteState(const std::string& payload, RemoteState& out);

}  // namespace nuve::core
