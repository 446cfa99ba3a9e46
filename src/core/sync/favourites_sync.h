#pragma once
// One machine's side of the favourites sync, step by step. Unlock finds or
// makes the account's data key with the account password; Sync then scans
// the favourites folder, fetches what the service holds, merges the two
// against the state both last agreed on, writes the result into the folder
// and uploads it. Every call blocks and runs on one thread at a time (the
// sync service sees to that); none of them touches a window.
//
// Nothing the service sends is applied unless it decrypts and
// authenticates under the data key, for this account, key generation and
// revision, and is no older than what this machine saw last.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "core/account/password_store.h"
#include "core/favourites/favourites_store.h"
#include "core/sync/sync_client.h"
#include "core/sync/sync_crypto.h"
#include "core/sync/sync_state_file.h"
#include "core/sync/three_way_merge.h"

namespace nuve::core {

enum class SyncResult {
  kSynced,          // this machine and the service hold the same favourites
  kLocked,          // no data key: nobody logged in with a password yet
  kNotLoggedIn,     // the service no longer knows the login
  kOffline,         // the service could not be reached; changes wait
  kKeyReset,        // the password was reset: the stored favourites are lost for good
  kKeyUnreadable,   // the data key does not unwrap with the password
  kKeyChanged,      // another machine started afresh; this one needs the password again
  kUndecryptable,   // the stored favourites fail authentication: tampered, or another key
  kReplayed,        // the service answered with an older revision than it had given
  kBadReply,        // the service's answer could not be read
  kRefused,         // the service refused (too large, banned); `detail` has its message
  kLocalFailure,    // the favourites folder could not be read or written
  kStopped,
};

struct SyncOutcome {
  SyncResult result = SyncResult::kLocked;
  std::string detail;          // for the log; the service's own message for kRefused
  MergeReport merge;
  std::size_t written = 0;     // files and folders changed in the folder
  bool uploaded = false;
  std::int64_t revision = -1;  // the service's revision now
  std::int64_t synced_at_ms = 0;

  bool ok() const { return result == SyncResult::kSynced; }
};

struct SyncOptions {
  // Argon2id cost of the keys this machine makes (0: libsodium's
  // interactive limits); tests make them cheap.
  std::uint64_t kdf_ops = 0;
  std::uint64_t kdf_mem = 0;
  // Encrypted favourites above this size are not uploaded (the service's cap).
  std::size_t max_blob_bytes = 2'000'000;
  int timeout_seconds = 60;
};

class FavouritesSync {
 public:
  // `keys` (may be null) keeps the data key between runs, in the desktop's
  // secret store, under `state_file`'s path and the account.
  FavouritesSync(FavouritesStore store, std::filesystem::path state_file, LoginSession& session,
                 std::string service_host, PasswordStore* keys, SyncOptions options = {},
                 std::stop_token shutdown = {});
  ~FavouritesSync();

  // Fetches the account's key record and unwraps the data key with the
  // password; makes one when the account has none. When the password does
  // not unwrap it, the data key kept from an earlier run is tried (a
  // password changed on another machine that could not re-wrap it), and
  // re-wrapped with this password when it opens the stored favourites.
  // kKeyReset and kKeyUnreadable keep the password until StartFresh or Lock.
  SyncOutcome Unlock(const std::string& account, const std::string& password, std::stop_token stop = {});
  // One sync (see the class comment); up to three rounds when another
  // machine uploads meanwhile.
  SyncOutcome Sync(std::stop_token stop = {});
  // After kKeyReset or kKeyUnreadable, with the user's word: a new data key,
  // the service's favourites dropped, this machine's uploaded.
  SyncOutcome StartFresh(std::stop_token stop = {});
  // Wraps the data key anew for `new_password` (after a password change).
  // When it cannot reach the service, the next Sync tries again.
  SyncOutcome Rewrap(const std::string& new_password, std::stop_token stop = {});
  // Whether the folder differs from what the last sync left; true when it
  // cannot tell.
  bool HasLocalChanges(std::stop_token stop = {});
  // Forgets the data key and any password held (the key stays in the
  // secret store).
  void Lock();

  bool unlocked() const;
  std::string account() const;
  // When the last sync succeeded (Unix ms; 0: never), as the state file says.
  std::int64_t LastSyncedMs() const;

 private:
  struct Held;
  SyncOutcome Round(std::stop_token stop, bool& again);
  SyncOutcome MakeKey(const std::string& account, const std::string& password, std::int64_t generation, bool fresh,
                      std::stop_token stop);
  std::optional<SecretKey> KeptKey(const std::string& account, std::int64_t generation, std::stop_token stop);
  void KeepKey(std::stop_token stop);
  std::string KeyName(const std::string& account) const;
  // The state file, read once and then kept: a copy of it.
  SyncState LoadState() const;
  Status SaveState(const SyncState& state);

  FavouritesStore store_;
  std::filesystem::path state_file_;
  SyncClient client_;
  PasswordStore* keys_;
  SyncOptions options_;
  mutable std::mutex mutex_;  // guards held_ against the readers on other threads
  std::unique_ptr<Held> held_;
  mutable std::mutex state_mutex_;
  mutable std::optional<SyncState> state_;
};

}  // namespace nuve::core
