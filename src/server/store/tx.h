#pragma once
// The database work of one transaction, in the service's own terms. Each
// method is one parameterised statement (or two); the same SQL serves SQLite
// and PostgreSQL. Throws StoreError when the database fails.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/store/records.h"
#include "server/store/sql_connection.h"
#include "server/store/sync_record.h"

namespace nuve::server {

class Tx {
 public:
  explicit Tx(SqlConnection& sql) : sql_(sql) {}

  // Users. `lock` holds the row until the transaction ends (PostgreSQL; a
  // SQLite write transaction holds the whole database anyway).
  std::optional<User> FindUserByAccount(std::string_view account, bool lock = false);
  std::optional<User> FindUserById(std::int64_t id);
  // The new user's id; nullopt when the account is taken.
  std::optional<std::int64_t> InsertUser(const NewUser& user);
  void RecordLogin(std::int64_t user_id, std::int64_t at, std::string_view address);
  void SetPasswordHash(std::int64_t user_id, std::string_view hash);
  void UpdateProfile(std::int64_t user_id, const ProfileChange& change);
  // False when there is no such account.
  bool SetUserState(std::string_view account, UserState state);
  std::vector<User> ListUsers(std::int64_t limit);

  // Sessions, found by the digest of their token.
  void InsertSession(std::string_view token_digest, std::int64_t user_id, std::int64_t now);
  // The session's user when it was last used at or after `valid_since`.
  std::optional<std::int64_t> SessionUser(std::string_view token_digest, std::int64_t valid_since);
  // The same, and marks the session used at `now`.
  std::optional<std::int64_t> TouchSession(std::string_view token_digest, std::int64_t now,
                                           std::int64_t valid_since);
  // The session's user and when it was last marked used, live or not.
  std::optional<SessionSeen> FindSession(std::string_view token_digest);
  void DeleteSessionsOf(std::int64_t user_id);
  // Every session of the user but the one with `keep_digest`.
  void DeleteOtherSessionsOf(std::int64_t user_id, std::string_view keep_digest);

  // Registration codes: one live code per e-mail address.
  void PutRegisterCode(std::string_view email, std::string_view code, std::int64_t expires);
  // Counts one try against the address's code and returns the code, unless it
  // has expired or has had `max_tries` tries already.
  std::optional<std::string> TakeCodeTry(std::string_view email, std::int64_t now, int max_tries);
  void DeleteRegisterCode(std::string_view email);
  // Whether the address has a code that may still be tried.
  bool HasLiveCode(std::string_view email, std::int64_t now, int max_tries);

  // The log of mails sent, for the per-address and per-client limits.
  // `kind` names the sort of mail ("code", "reset"); the last mail to the
  // address is counted per kind, the daily totals over all kinds.
  MailCounts CountMails(std::string_view kind, std::string_view address, std::string_view client,
                        std::int64_t day_start);
  std::int64_t InsertMailRecord(std::string_view kind, std::string_view address, std::string_view client,
                                std::int64_t now);
  void DeleteMailRecord(std::int64_t id);

  // Failed password checks per account and per client address, for the
  // login throttle.
  std::int64_t CountLoginFailures(std::string_view account, std::int64_t since);
  std::int64_t OldestLoginFailure(std::string_view account, std::int64_t since);
  std::int64_t CountClientFailures(std::string_view client, std::int64_t since);
  std::int64_t OldestClientFailure(std::string_view client, std::int64_t since);
  void InsertLoginFailure(std::string_view account, std::string_view client, std::int64_t now);
  // The account's failures (its clients' count of them stays).
  void ClearLoginFailures(std::string_view account);

  // One-time password-reset links, found by the digest of their token.
  void InsertResetToken(std::string_view token_digest, std::int64_t user_id, std::int64_t expires);
  std::optional<std::int64_t> ResetTokenUser(std::string_view token_digest, std::int64_t now);
  // The same, and the token is gone afterwards.
  std::optional<std::int64_t> TakeResetToken(std::string_view token_digest, std::int64_t now);
  void DeleteResetTokensOf(std::int64_t user_id);

  // E-mail changes waiting for their link, found by the digest of its token.
  void InsertEmailChange(std::string_view token_digest, std::int64_t user_id, std::string_view new_email,
                         std::int64_t expires);
  std::optional<EmailChange> FindEmailChange(std::string_view token_digest, std::int64_t now);
  // The same, and the change is gone afterwards.
  std::optional<EmailChange> TakeEmailChange(std::string_view token_digest, std::int64_t now);
  void DeleteEmailChangesOf(std::int64_t user_id);

  // Images, by the MD5 of their bytes.
  std::optional<ImageRecord> FindImage(std::string_view hash);
  std::optional<ImageContent> ImageBytes(std::string_view hash);
  // Stores the image, or counts one more reference when it is there already.
  // `uploader` is the user who stored it first.
  ImageRecord SaveImage(std::string_view hash, std::string_view mime, std::string_view bytes, std::int64_t now,
                        std::optional<std::int64_t> uploader = std::nullopt);
  // How many images the user stored first after `since` (0: ever).
  std::int64_t CountImagesStoredBy(std::int64_t user_id, std::int64_t since);

  void InsertFeedback(std::int64_t user_id, std::string_view title, std::string_view content, std::int64_t now);
  // How many feedback messages the user sent after `since`.
  std::int64_t CountFeedbackSince(std::int64_t user_id, std::int64_t since);
  // The newest first.
  std::vector<FeedbackEntry> ListFeedback(std::int64_t limit);

  std::int64_t InsertAnnouncement(std::string_view title, std::string_view content, std::int64_t now);
  // The newest first.
  std::vector<Announcement> ListAnnouncements(std::int64_t limit);
  // The one with `id`, or the newest when no id is given.
  std::optional<Announcement> FindAnnouncement(std::optional<std::int64_t> id);
  bool DeleteAnnouncement(std::int64_t id);

  std::optional<std::string> UserData(std::int64_t user_id, std::string_view key);
  std::int64_t CountUserData(std::int64_t user_id);
  // The bytes of all the user's stored values.
  std::int64_t UserDataBytes(std::int64_t user_id);
  void PutUserData(std::int64_t user_id, std::string_view key, std::string_view value, std::int64_t now);

  // The favourites sync (tx_sync.cpp). A write returns the new generation
  // and revision, or nullopt when the row is no longer at the generation
  // (and revision) the client named.
  std::optional<SyncRecord> SyncRecordOf(std::int64_t user_id);
  std::optional<std::pair<std::int64_t, std::int64_t>> PutSyncKey(std::int64_t user_id, const SyncKeyWrite& key,
                                                                  std::int64_t now);
  std::optional<std::int64_t> PutSyncBlob(std::int64_t user_id, std::int64_t generation, std::int64_t revision,
                                          std::string_view blob, std::int64_t now);
  // After a password reset: the data key is wrapped with a password nobody has.
  void MarkSyncKeyReset(std::int64_t user_id);

  std::optional<std::string> Setting(std::string_view name);
  void PutSetting(std::string_view name, std::string_view value);

  // Deletes what can no longer be used: sessions idle since before
  // `session_valid_since`, expired codes, links and e-mail changes,
  // mail-log rows older than `log_since` and failed logins older than
  // `failures_since` (of accounts that exist or not).
  void Purge(std::int64_t now, std::int64_t session_valid_since, std::int64_t log_since,
             std::int64_t failures_since);

 private:
  SqlConnection& sql_;
};

}  // namespace nuve::server
