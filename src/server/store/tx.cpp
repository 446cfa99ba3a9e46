#include "server/store/tx.h"

#include <string>

namespace nuve::server {
namespace {

constexpr char kUserColumns[] =
    "id, account, email, password_hash, name, phone, head_hash, regist_time, login_time, "
    "login_address, login_count, state";

User UserFromRow(const SqlRow& row) {
  User u;
  u.id = row.Int(0);
  u.account = row.Text(1);
  u.email = row.Text(2);
  u.password_hash = row.Text(3);
  u.name = row.Text(4);
  u.phone = row.Text(5);
  u.head_hash = row.Text(6);
  u.regist_time = row.Int(7);
  u.login_time = row.Int(8);
  u.login_address = row.Text(9);
  u.login_count = row.Int(10);
  u.state = UserStateFromName(row.Text(11)).value_or(UserState::kNormal);
  return u;
}

std::optional<User> FirstUser(const SqlRows& rows) {
  if (rows.empty()) return std::nullopt;
  return UserFromRow(rows.front());
}

std::optional<std::int64_t> FirstInt(const SqlRows& rows) {
  if (rows.empty()) return std::nullopt;
  return rows.front().Int(0);
}

}  // namespace

std::optional<User> Tx::FindUserByAccount(std::string_view account, bool lock) {
  std::string sql = std::string("SELECT ") + kUserColumns + " FROM users WHERE account = $1";
  if (lock && sql_.dialect() == SqlDialect::kPostgres) sql += " FOR UPDATE";
  return FirstUser(sql_.Query(sql, {account}));
}

std::optional<User> Tx::FindUserById(std::int64_t id) {
  return FirstUser(sql_.Query(std::string("SELECT ") + kUserColumns + " FROM users WHERE id = $1", {id}));
}

std::optional<std::int64_t> Tx::InsertUser(const NewUser& user) {
  return FirstInt(sql_.Query(
      "INSERT INTO users (account, email, password_hash, name, phone, head_hash, regist_time) "
      "VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (account) DO NOTHING RETURNING id",
      {user.account, user.email, user.password_hash, user.name, user.phone, user.head_hash, user.regist_time}));
}

void Tx::RecordLogin(std::int64_t user_id, std::int64_t at, std::string_view address) {
  sql_.Query(
      "UPDATE users SET login_time = $2, login_address = $3, login_count = login_count + 1 WHERE id = $1",
      {user_id, at, address});
}

void Tx::SetPasswordHash(std::int64_t user_id, std::string_view hash) {
  sql_.Query("UPDATE users SET password_hash = $2 WHERE id = $1", {user_id, hash});
}

void Tx::UpdateProfile(std::int64_t user_id, const ProfileChange& change) {
  if (change.name) sql_.Query("UPDATE users SET name = $2 WHERE id = $1", {user_id, *change.name});
  if (change.email) sql_.Query("UPDATE users SET email = $2 WHERE id = $1", {user_id, *change.email});
  if (change.phone) sql_.Query("UPDATE users SET phone = $2 WHERE id = $1", {user_id, *change.phone});
  if (change.head_hash) sql_.Query("UPDATE users SET head_hash = $2 WHERE id = $1", {user_id, *change.head_hash});
}

bool Tx::SetUserState(std::string_view account, UserState state) {
  return !sql_.Query("UPDATE users SET state = $2 WHERE account = $1 RETURNING id",
                     {account, UserStateName(state)})
              .empty();
}

std::vector<User> Tx::ListUsers(std::int64_t limit) {
  std::vector<User> users;
  for (const SqlRow& row :
       sql_.Query(std::string("SELECT ") + kUserColumns + " FROM users ORDER BY id LIMIT $1", {limit})) {
    users.push_back(UserFromRow(row));
  }
  return users;
}

void Tx::InsertSession(std::string_view token_digest, std::int64_t user_id, std::int64_t now) {
  sql_.Query("INSERT INTO sessions (token_digest, user_id, created, last_seen) VALUES ($1, $2, $3, $3)",
             {token_digest, user_id, now});
}

std::optional<std::int64_t> Tx::SessionUser(std::string_view token_digest, std::int64_t valid_since) {
  return FirstInt(sql_.Query("SELECT user_id FROM sessions WHERE token_digest = $1 AND last_seen >= $2",
                             {token_digest, valid_since}));
}

std::optional<std::int64_t> Tx::TouchSession(std::string_view token_digest, std::int64_t now,
                                             std::int64_t valid_since) {
  return FirstInt(sql_.Query(
      "UPDATE sessions SET last_seen = $2 WHERE token_digest = $1 AND last_seen >= $3 RETURNING user_id",
      {token_digest, now, valid_since}));
}

std::optional<SessionSeen> Tx::FindSession(std::string_view token_digest) {
  const SqlRows rows = sql_.Query("SELECT user_id, last_seen FROM sessions WHERE token_digest = $1", {token_digest});
  if (rows.empty()) return std::nullopt;
  return SessionSeen{rows.front().Int(0), rows.front().Int(1)};
}

void Tx::DeleteSessionsOf(std::int64_t user_id) {
  sql_.Query("DELETE FROM sessions WHERE user_id = $1", {user_id});
}

void Tx::DeleteOtherSessionsOf(std::int64_t user_id, std::string_view keep_digest) {
  sql_.Query("DELETE FROM sessions WHERE user_id = $1 AND token_digest <> $2", {user_id, keep_digest});
}

void Tx::PutRegisterCode(std::string_view email, std::string_view code, std::int64_t expires) {
  sql_.Query(
      "INSERT INTO register_codes (email, code, expires, tries) VALUES ($1, $2, $3, 0) "
      "ON CONFLICT (email) DO UPDATE SET code = excluded.code, expires = excluded.expires, tries = 0",
      {email, code, expires});
}

std::optional<std::string> Tx::TakeCodeTry(std::string_view email, std::int64_t now, int max_tries) {
  const SqlRows rows = sql_.Query(
      "UPDATE register_codes SET tries = tries + 1 WHERE email = $1 AND expires > $2 AND tries < $3 "
      "RETURNING code",
      {email, now, max_tries});
  if (rows.empty()) return std::nullopt;
  return rows.front().Text(0);
}

void Tx::DeleteRegisterCode(std::string_view email) {
  sql_.Query("DELETE FROM register_codes WHERE email = $1", {email});
}

bool Tx::HasLiveCode(std::string_view email, std::int64_t now, int max_tries) {
  return !sql_.Query("SELECT 1 FROM register_codes WHERE email = $1 AND expires > $2 AND tries < $3",
                     {email, now, max_tries})
              .empty();
}

MailCounts Tx::CountMails(std::string_view kind, std::string_view address, std::string_view client,
                          std::int64_t day_start) {
  MailCounts counts;
  counts.today_to_address =
      FirstInt(sql_.Query("SELECT count(*) FROM mail_log WHERE address = $1 AND sent >= $2", {address, day_start}))
          .value_or(0);
  counts.last_to_address =
      FirstInt(sql_.Query("SELECT coalesce(max(sent), 0) FROM mail_log WHERE address = $1 AND kind = $2 AND sent >= $3",
                          {address, kind, day_start}))
          .value_or(0);
  counts.today_from_client =
      FirstInt(sql_.Query("SELECT count(*) FROM mail_log WHERE client = $1 AND sent >= $2", {client, day_start}))
          .value_or(0);
  return counts;
}

std::int64_t Tx::InsertMailRecord(std::string_view kind, std::string_view address, std::string_view client,
                                  std::int64_t now) {
  return FirstInt(sql_.Query("INSERT INTO mail_log (kind, address, client, sent) VALUES ($1, $2, $3, $4) RETURNING id",
                             {kind, address, client, now}))
      .value_or(0);
}

void Tx::DeleteMailRecord(std::int64_t id) { sql_.Query("DELETE FROM mail_log WHERE id = $1", {id}); }

std::int64_t Tx::CountLoginFailures(std::string_view account, std::int64_t since) {
  return FirstInt(sql_.Query("SELECT count(*) FROM login_failures WHERE account = $1 AND failed_at >= $2",
                             {account, since}))
      .value_or(0);
}

std::int64_t Tx::OldestLoginFailure(std::string_view account, std::int64_t since) {
  return FirstInt(sql_.Query(
                      "SELECT coalesce(min(failed_at), 0) FROM login_failures WHERE account = $1 AND failed_at >= $2",
                      {account, since}))
      .value_or(0);
}

std::int64_t Tx::CountClientFailures(std::string_view client, std::int64_t since) {
  return FirstInt(sql_.Query("SELECT count(*) FROM login_failures WHERE client = $1 AND failed_at >= $2",
                             {client, since}))
      .value_or(0);
}

std::int64_t Tx::OldestClientFailure(std::string_view client, std::int64_t since) {
  return FirstInt(sql_.Query(
                      "SELECT coalesce(min(failed_at), 0) FROM login_failures WHERE client = $1 AND failed_at >= $2",
                      {client, since}))
      .value_or(0);
}

void Tx::InsertLoginFailure(std::string_view account, std::string_view client, std::int64_t now) {
  sql_.Query("INSERT INTO login_failures (account, client, failed_at) VALUES ($1, $2, $3)", {account, client, now});
}

void Tx::ClearLoginFailures(std::string_view account) {
  sql_.Query("DELETE FROM login_failures WHERE account = $1", {account});
}

void Tx::InsertResetToken(std::string_view token_digest, std::int64_t user_id, std::int64_t expires) {
  sql_.Query("INSERT INTO reset_tokens (token_digest, user_id, expires) VALUES ($1, $2, $3)",
             {token_digest, user_id, expires});
}

std::optional<std::int64_t> Tx::ResetTokenUser(std::string_view token_digest, std::int64_t now) {
  return FirstInt(sql_.Query("SELECT user_id FROM reset_tokens WHERE token_digest = $1 AND expires > $2",
                             {token_digest, now}));
}

std::optional<std::int64_t> Tx::TakeResetToken(std::string_view token_digest, std::int64_t now) {
  return FirstInt(sql_.Query(
      "DELETE FROM reset_tokens WHERE token_digest = $1 AND expires > $2 RETURNING user_id", {token_digest, now}));
}

void Tx::DeleteResetTokensOf(std::int64_t user_id) {
  sql_.Query("DELETE FROM reset_tokens WHERE user_id = $1", {user_id});
}

void Tx::InsertEmailChange(std::string_view token_digest, std::int64_t user_id, std::string_view new_email,
                           std::int64_t expires) {
  sql_.Query("INSERT INTO email_changes (token_digest, user_id, new_email, expires) VALUES ($1, $2, $3, $4)",
             {token_digest, user_id, new_email, expires});
}

std::optional<EmailChange> Tx::FindEmailChange(std::string_view token_digest, std::int64_t now) {
  const SqlRows rows = sql_.Query(
      "SELECT user_id, new_email FROM email_changes WHERE token_digest = $1 AND expires > $2", {token_digest, now});
  if (rows.empty()) return std::nullopt;
  return EmailChange{rows.front().Int(0), rows.front().Text(1)};
}

std::optional<EmailChange> Tx::TakeEmailChange(std::string_view token_digest, std::int64_t now) {
  const SqlRows rows = sql_.Query(
      "DELETE FROM email_changes WHERE token_digest = $1 AND expires > $2 RETURNING user_id, new_email",
      {token_digest, now});
  if (rows.empty()) return std::nullopt;
  return EmailChange{rows.front().Int(0), rows.front().Text(1)};
}

void Tx::DeleteEmailChangesOf(std::int64_t user_id) {
  sql_.Query("DELETE FROM email_changes WHERE user_id = $1", {user_id});
}

std::optional<std::string> Tx::Setting(std::string_view name) {
  const SqlRows rows = sql_.Query("SELECT value FROM settings WHERE name = $1", {name});
  if (rows.empty()) return std::nullopt;
  return rows.front().Text(0);
}

void Tx::PutSetting(std::string_view name, std::string_view value) {
  sql_.Query(
      "INSERT INTO settings (name, value) VALUES ($1, $2) ON CONFLICT (name) DO UPDATE SET value = excluded.value",
      {name, value});
}

void Tx::Purge(std::int64_t now, std::int64_t session_valid_since, std::int64_t log_since,
               std::int64_t failures_since) {
  sql_.Query("DELETE FROM sessions WHERE last_seen < $1", {session_valid_since});
  sql_.Query("DELETE FROM register_codes WHERE expires <= $1", {now});
  sql_.Query("DELETE FROM reset_tokens WHERE expires <= $1", {now});
  sql_.Query("DELETE FROM email_changes WHERE expires <= $1", {now});
  sql_.Query("DELETE FROM mail_log WHERE sent < $1", {log_since});
  sql_.Query("DELETE FROM login_failures WHERE failed_at < $1", {failures_since});
}

}  // namespace nuve::server
