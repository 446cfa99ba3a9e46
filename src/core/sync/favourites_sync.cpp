#include "core/sync/favourites_sync.h"

#include <sodium.h>

#include <chrono>

#include "core/app/log.h"
#include "core/sync/local_apply.h"
#include "core/sync/local_snapshot.h"
#include "core/sync/sync_payload.h"

namespace nuve::core {
namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

SyncOutcome Outcome(SyncResult result, std::string detail = {}) {
  SyncOutcome out;
  out.result = result;
  out.detail = std::move(detail);
  return out;
}

// What a failed call to the service means for the sync.
SyncOutcome FromReply(const SyncReply& reply) {
  switch (reply.kind) {
    case SyncReplyKind::kNotLoggedIn: return Outcome(SyncResult::kNotLoggedIn, reply.message);
    case SyncReplyKind::kRefused: return Outcome(SyncResult::kRefused, reply.message);
    case SyncReplyKind::kBadReply: return Outcome(SyncResult::kBadReply, reply.message);
    default: return Outcome(SyncResult::kOffline, reply.message);
  }
}

// A password in memory, wiped when it is no longer needed.
void Wipe(std::string& secret) {
  if (!secret.empty()) sodium_memzero(secret.data(), secret.size());
  secret.clear();
}

}  // namespace

struct FavouritesSync::Held {
  std::string account;
  std::optional<SecretKey> key;
  std::int64_t generation = 0;
  // While a fresh start waits for the user's word: the password and the
  // generation it replaces.
  std::string password;
  std::int64_t fresh_from = 0;
  // A new password whose re-wrap has not reached the service yet.
  std::string rewrap;

  ~Held() {
    Wipe(password);
    Wipe(rewrap);
  }
};

FavouritesSync::FavouritesSync(FavouritesStore store, std::filesystem::path state_file, LoginSession& session,
                               std::string service_host, PasswordStore* keys, SyncOptions options,
                               std::stop_token shutdown)
    : store_(std::move(store)),
      state_file_(std::move(state_file)),
      client_(session, std::move(service_host), std::move(shutdown)),
      keys_(keys),
      options_(options) {
  client_.SetTimeoutSeconds(options_.timeout_seconds);
}

FavouritesSync::~FavouritesSync() = default;

bool FavouritesSync::unlocked() const {
  std::lock_guard lock(mutex_);
  return held_ && held_->key.has_value();
}

std::string FavouritesSync::account() const {
  std::lock_guard lock(mutex_);
  return held_ ? held_->account : std::string();
}

std::int64_t FavouritesSync::LastSyncedMs() const { return LoadState().last_synced_ms; }

SyncState FavouritesSync::LoadState() const {
  std::lock_guard lock(state_mutex_);
  if (!state_) state_ = LoadSyncState(state_file_);
  return *state_;
}

Status FavouritesSync::SaveState(const SyncState& state) {
  const Status saved = SaveSyncState(state_file_, state);
  std::lock_guard lock(state_mutex_);
  // Kept even when the file could not be written: it is what was agreed.
  state_ = state;
  return saved;
}

void FavouritesSync::Lock() {
  std::lock_guard lock(mutex_);
  held_.reset();
}

std::string FavouritesSync::KeyName(const std::string& account) const {
  return state_file_.string() + "#" + account;
}

std::optional<SecretKey> FavouritesSync::KeptKey(const std::string& account, std::int64_t generation,
                                                 std::stop_token stop) {
  if (keys_ == nullptr) return std::nullopt;
  std::optional<std::string> kept = keys_->Lookup(KeyName(account), std::move(stop));
  if (!kept) return std::nullopt;
  // "<generation>:<base64 key>"
  const auto colon = kept->find(':');
  std::optional<SecretKey> key;
  if (colon != std::string::npos && kept->substr(0, colon) == std::to_string(generation)) {
    key = SecretKey::FromBase64(std::string_view(*kept).substr(colon + 1));
  }
  Wipe(*kept);
  return key;
}

void FavouritesSync::KeepKey(std::stop_token stop) {
  if (keys_ == nullptr) return;
  std::string account;
  std::string text;
  {
    std::lock_guard lock(mutex_);
    if (!held_ || !held_->key) return;
    account = held_->account;
    text = std::to_string(held_->generation) + ":" + held_->key->ToBase64();
  }
  // Without a secret store the key lives in memory for this run only.
  if (!keys_->Store(KeyName(account), account, text, std::move(stop))) {
    LogWarning("favourites sync", "no secret store: the data key is kept for this run only");
  }
  Wipe(text);
}

SyncOutcome FavouritesSync::MakeKey(const std::string& account, const std::string& password,
                                    std::int64_t generation, bool fresh, std::stop_token stop) {
  const SecretKey data_key = SecretKey::Random();
  RemoteKey record;
  record.kdf = NewKdfParams(options_.kdf_ops, options_.kdf_mem);
  const std::optional<SecretKey> kek = DeriveKeyEncryptionKey(password, record.kdf);
  if (!kek) return Outcome(SyncResult::kLocalFailure, "cannot derive the key (out of memory?)");
  const std::int64_t new_generation = fresh ? generation + 1 : generation;
  record.wrapped = Encrypt(*kek, std::string_view(reinterpret_cast<const char*>(data_key.data()), SecretKey::kBytes),
                           WrappedKeyContext(account, new_generation));
  RemoteState written;
  const SyncReply reply = client_.PutKey(generation, fresh, record, written, stop);
  if (reply.kind == SyncReplyKind::kConflict) return Outcome(SyncResult::kKeyChanged, reply.message);
  if (reply.kind != SyncReplyKind::kOk) return FromReply(reply);
  {
    std::lock_guard lock(mutex_);
    held_ = std::make_unique<Held>();
    held_->account = account;
    held_->key = data_key;
    held_->generation = written.generation;
  }
  KeepKey(stop);
  // What was agreed under the old key means nothing under the new one; the
  // items' ids on this machine stay.
  SyncState state = LoadState();
  if (state.account != account) state.local.clear();
  state.account = account;
  state.generation = written.generation;
  state.revision = -1;
  state.base.clear();
  if (const Status saved = SaveState(state); !saved.ok()) {
    LogWarning("favourites sync", saved.error().detail);
  }
  SyncOutcome out = Outcome(SyncResult::kSynced);
  out.revision = written.revision;
  return out;
}

SyncOutcome FavouritesSync::Unlock(const std::string& account, const std::string& password, std::stop_token stop) {
  Lock();
  for (int attempt = 0; attempt < 2; ++attempt) {
    RemoteState remote;
    const SyncReply reply = client_.Get(-1, remote, stop);
    if (reply.kind != SyncReplyKind::kOk) return FromReply(reply);
    const auto hold_for_fresh_start = [&](SyncResult result) {
      std::lock_guard lock(mutex_);
      held_ = std::make_unique<Held>();
      held_->account = account;
      held_->password = password;
      held_->fresh_from = remote.generation;
      return Outcome(result);
    };
    if (remote.key_reset) return hold_for_fresh_start(SyncResult::kKeyReset);
    if (!remote.key) {
      SyncOutcome made = MakeKey(account, password, 0, /*fresh=*/true, stop);
      if (made.result == SyncResult::kKeyChanged && attempt == 0) continue;  // another machine was first: use its key
      return made;
    }
    if (!AcceptableKdfParams(remote.key->kdf)) return Outcome(SyncResult::kBadReply, "unacceptable key parameters");
    const std::optional<SecretKey> kek = DeriveKeyEncryptionKey(password, remote.key->kdf);
    if (!kek) return Outcome(SyncResult::kLocalFailure, "cannot derive the key (out of memory?)");
    std::optional<std::string> unwrapped =
        Decrypt(*kek, remote.key->wrapped, WrappedKeyContext(account, remote.generation));
    std::optional<SecretKey> key;
    bool rewrap = false;
    if (unwrapped && unwrapped->size() == SecretKey::kBytes) {
      key.emplace();
      std::copy(unwrapped->begin(), unwrapped->end(), key->data());
    } else {
      // The key kept from an earlier run opens the favourites when only the
      // wrapping is stale (a password changed where the re-wrap failed).
      key = KeptKey(account, remote.generation, stop);
      const bool opens = key && remote.blob &&
                         Decrypt(*key, *remote.blob, FavouritesContext(account, remote.generation, remote.revision));
      if (!opens) return hold_for_fresh_start(SyncResult::kKeyUnreadable);
      rewrap = true;
    }
    if (unwrapped) Wipe(*unwrapped);
    {
      std::lock_guard lock(mutex_);
      held_ = std::make_unique<Held>();
      held_->account = account;
      held_->key = key;
      held_->generation = remote.generation;
    }
    KeepKey(stop);
    if (rewrap) {
      const SyncOutcome wrapped = Rewrap(password, stop);
      if (!wrapped.ok()) LogWarning("favourites sync", "cannot wrap the key anew: " + wrapped.detail);
    }
    return Outcome(SyncResult::kSynced);
  }
  return Outcome(SyncResult::kBadReply, "no key record after two tries");
}

SyncOutcome FavouritesSync::StartFresh(std::stop_token stop) {
  std::string account;
  std::string password;
  std::int64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    if (!held_ || held_->password.empty()) return Outcome(SyncResult::kLocked);
    account = held_->account;
    password = held_->password;
    generation = held_->fresh_from;
  }
  SyncOutcome made = MakeKey(account, password, generation, /*fresh=*/true, stop);
  Wipe(password);
  if (!made.ok()) return made;
  return Sync(stop);
}

SyncOutcome FavouritesSync::Rewrap(const std::string& new_password, std::stop_token stop) {
  std::string account;
  std::optional<SecretKey> key;
  std::int64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    if (!held_ || !held_->key) return Outcome(SyncResult::kLocked);
    account = held_->account;
    key = held_->key;
    generation = held_->generation;
    held_->rewrap = new_password;
  }
  RemoteKey record;
  record.kdf = NewKdfParams(options_.kdf_ops, options_.kdf_mem);
  const std::optional<SecretKey> kek = DeriveKeyEncryptionKey(new_password, record.kdf);
  if (!kek) return Outcome(SyncResult::kLocalFailure, "cannot derive the key (out of memory?)");
  record.wrapped = Encrypt(*kek, std::string_view(reinterpret_cast<const char*>(key->data()), SecretKey::kBytes),
                           WrappedKeyContext(account, generation));
  RemoteState written;
  const SyncReply reply = client_.PutKey(generation, /*fresh=*/false, record, written, stop);
  if (reply.kind == SyncReplyKind::kConflict) return Outcome(SyncResult::kKeyChanged, reply.message);
  if (reply.kind != SyncReplyKind::kOk) return FromReply(reply);  // the re-wrap waits for the next sync
  std::lock_guard lock(mutex_);
  if (held_) Wipe(held_->rewrap);
  return Outcome(SyncResult::kSynced);
}

bool FavouritesSync::HasLocalChanges(std::stop_token stop) {
  const SyncState state = LoadState();
  if (state.account != account() || state.revision < 0) return true;
  const LocalScan scan = ScanFavourites(store_, state.local, std::move(stop));
  if (!scan.ok) return true;
  SyncTree known;
  for (const LocalEntry& e : state.local) known.emplace(e.item.id, e.item);
  return scan.Tree() != known || known != state.base;
}

SyncOutcome FavouritesSync::Sync(std::stop_token stop) {
  std::string pending_rewrap;
  {
    std::lock_guard lock(mutex_);
    if (!held_ || !held_->key) return Outcome(SyncResult::kLocked);
    pending_rewrap = held_->rewrap;
  }
  if (!pending_rewrap.empty()) {
    const SyncOutcome wrapped = Rewrap(pending_rewrap, stop);
    Wipe(pending_rewrap);
    if (wrapped.result == SyncResult::kKeyChanged) return wrapped;
  }
  RecoverPutAside(store_);
  SyncOutcome out;
  for (int round = 0; round < 3; ++round) {
    bool again = false;
    out = Round(stop, again);
    if (!again) return out;
  }
  return out;
}

SyncOutcome FavouritesSync::Round(std::stop_token stop, bool& again) {
  std::string account;
  std::int64_t generation = 0;
  std::optional<SecretKey> key;
  {
    std::lock_guard lock(mutex_);
    if (!held_ || !held_->key) return Outcome(SyncResult::kLocked);
    account = held_->account;
    generation = held_->generation;
    key = held_->key;
  }
  SyncState state = LoadState();
  if (state.account != account || state.generation != generation) {
    if (state.account != account) state.local.clear();
    state.account = account;
    state.generation = generation;
    state.revision = -1;
    state.base.clear();
  }
  const LocalScan scan = ScanFavourites(store_, state.local, stop);
  if (!scan.ok) return Outcome(stop.stop_requested() ? SyncResult::kStopped : SyncResult::kLocalFailure, scan.error);

  RemoteState remote;
  const SyncReply reply = client_.Get(state.revision, remote, stop);
  if (reply.kind != SyncReplyKind::kOk) return FromReply(reply);
  if (remote.key_reset) return Outcome(SyncResult::kKeyReset);
  if (remote.generation != generation) return Outcome(SyncResult::kKeyChanged);
  if (state.revision >= 0 && remote.revision < state.revision) {
    return Outcome(SyncResult::kReplayed, "revision " + std::to_string(remote.revision) + " after " +
                                              std::to_string(state.revision));
  }
  SyncTree theirs;
  if (remote.unchanged) {
    theirs = state.base;
  } else if (remote.blob) {
    const std::optional<std::string> packed =
        Decrypt(*key, *remote.blob, FavouritesContext(account, generation, remote.revision));
    if (!packed) return Outcome(SyncResult::kUndecryptable, "the favourites fail authentication");
    std::optional<SyncTree> tree = UnpackSyncTree(*packed);
    if (!tree) return Outcome(SyncResult::kUndecryptable, "the decrypted favourites cannot be read");
    theirs = std::move(*tree);
  }
  const SyncTree base = state.revision >= 0 ? state.base : SyncTree();
  // A favourites folder that is gone altogether (moved away, on a drive not
  // mounted) is no deletion of everything: the folder is made again from
  // what was agreed.
  std::error_code ec;
  const bool folder_gone = !state.local.empty() && !std::filesystem::exists(store_.folder(), ec);
  const SyncTree on_disk = scan.Tree();
  SyncTree mine = on_disk;
  if (folder_gone) {
    LogWarning("favourites sync", store_.folder().string() + " is gone; it is made again from the last sync");
    for (const LocalEntry& e : state.local) mine.emplace(e.item.id, e.item);
  }
  SyncOutcome out = Outcome(SyncResult::kSynced);
  const SyncTree merged = MergeSyncTrees(base, mine, theirs, &out.merge);

  std::vector<LocalEntry> now = scan.entries;
  if (merged != on_disk) {
    // The user may have changed something while the service answered: then
    // merge once more rather than write over it.
    const LocalScan check = ScanFavourites(store_, scan.entries, stop);
    if (!check.ok || check.Tree() != on_disk) {
      again = true;
      return Outcome(SyncResult::kLocalFailure, "the favourites changed during the sync");
    }
    ApplyReport applied = ApplySyncTree(store_, scan.entries, merged);
    out.written = applied.changed;
    // A failed write changes nothing agreed: the next sync finds what did
    // get written and merges it again.
    if (!applied.status.ok()) return Outcome(SyncResult::kLocalFailure, applied.status.error().detail);
    now = std::move(applied.expected);
  }
  state.local = std::move(now);
  state.base = theirs;
  state.revision = remote.revision;
  out.revision = remote.revision;
  if (merged != theirs) {
    const std::string blob =
        Encrypt(*key, PackSyncTree(merged), FavouritesContext(account, generation, remote.revision + 1));
    if (blob.size() > options_.max_blob_bytes) {
      (void)SaveState(state);
      return Outcome(SyncResult::kRefused, "too large: " + std::to_string(blob.size()) + " bytes");
    }
    std::int64_t new_revision = 0;
    const SyncReply put = client_.Put(generation, remote.revision, blob, new_revision, stop);
    if (put.kind == SyncReplyKind::kConflict) {
      (void)SaveState(state);
      again = true;
      return Outcome(SyncResult::kOffline, "another machine uploaded first");
    }
    if (put.kind != SyncReplyKind::kOk) {
      if (const Status saved = SaveState(state); !saved.ok()) {
        LogWarning("favourites sync", saved.error().detail);
      }
      SyncOutcome failed = FromReply(put);
      failed.written = out.written;
      return failed;
    }
    state.base = merged;
    state.revision = new_revision;
    out.revision = new_revision;
    out.uploaded = true;
  }
  state.last_synced_ms = NowMs();
  out.synced_at_ms = state.last_synced_ms;
  if (const Status saved = SaveState(state); !saved.ok()) {
    return Outcome(SyncResult::kLocalFailure, saved.error().detail);
  }
  return out;
}

}  // namespace nuve::core
