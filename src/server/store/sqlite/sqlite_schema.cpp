#include "server/store/sqlite/sqlite_schema.h"

#include "server/store/sync_schema.h"

namespace nuve::server {
namespace {

constexpr Migration kSteps[] = {
    {1, R"sql(
CREATE TABLE users (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  account TEXT NOT NULL UNIQUE,
  email TEXT NOT NULL,
  password_hash TEXT NOT NULL,
  name TEXT NOT NULL DEFAULT '',
  phone TEXT NOT NULL DEFAULT '',
  head_hash TEXT NOT NULL DEFAULT '',
  regist_time INTEGER NOT NULL,
  login_time INTEGER NOT NULL DEFAULT 0,
  login_address TEXT NOT NULL DEFAULT '',
  login_count INTEGER NOT NULL DEFAULT 0,
  state TEXT NOT NULL DEFAULT 'normal' CHECK (state IN ('normal', 'banned'))
);
CREATE TABLE sessions (
  token_digest TEXT PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users (id) ON DELETE CASCADE,
  created INTEGER NOT NULL,
  last_seen INTEGER NOT NULL
) WITHOUT ROWID;
CREATE INDEX sessions_user ON sessions (user_id);
CREATE INDEX sessions_last_seen ON sessions (last_seen);
CREATE TABLE register_codes (
  email TEXT PRIMARY KEY,
  code TEXT NOT NULL,
  expires INTEGER NOT NULL,
  tries INTEGER NOT NULL DEFAULT 0
) WITHOUT ROWID;
CREATE TABLE mail_log (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  kind TEXT NOT NULL,
  address TEXT NOT NULL,
  client TEXT NOT NULL,
  sent INTEGER NOT NULL
);
CREATE INDEX mail_log_address ON mail_log (address, sent);
CREATE INDEX mail_log_client ON mail_log (client, sent);
CREATE TABLE login_failures (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  account TEXT NOT NULL,
  failed_at INTEGER NOT NULL
);
CREATE INDEX login_failures_account ON login_failures (account, failed_at);
CREATE TABLE reset_tokens (
  token_digest TEXT PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users (id) ON DELETE CASCADE,
  expires INTEGER NOT NULL
) WITHOUT ROWID;
CREATE TABLE images (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  hash TEXT NOT NULL UNIQUE,
  mime TEXT NOT NULL,
  content BLOB NOT NULL,
  created INTEGER NOT NULL,
  reference_num INTEGER NOT NULL DEFAULT 1
);
CREATE TABLE feedback (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  user_id INTEGER NOT NULL REFERENCES users (id) ON DELETE CASCADE,
  title TEXT NOT NULL,
  content TEXT NOT NULL,
  created INTEGER NOT NULL
);
CREATE TABLE announcements (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  title TEXT NOT NULL,
  content TEXT NOT NULL,
  push_time INTEGER NOT NULL
);
CREATE TABLE user_data (
  user_id INTEGER NOT NULL REFERENCES users (id) ON DELETE CASCADE,
  key TEXT NOT NULL,
  value TEXT NOT NULL,
  updated INTEGER NOT NULL,
  PRIMARY KEY (user_id, key)
) WITHOUT ROWID;
CREATE TABLE settings (
  name TEXT PRIMARY KEY,
  value TEXT NOT NULL
) WITHOUT ROWID;
)sql"},
    {2, R"sql(
-- Logins are limited per client address as well as per account.
ALTER TABLE login_failures ADD COLUMN client TEXT NOT NULL DEFAULT '';
CREATE INDEX login_failures_client ON login_failures (client, failed_at);
-- Mail limits and registration codes go by the address in lower case.
UPDATE mail_log SET address = lower(address);
DELETE FROM register_codes WHERE email <> lower(email);
-- Quotas: who stored an image, and how much feedback a user sent.
ALTER TABLE images ADD COLUMN uploader_id INTEGER;
CREATE INDEX images_uploader ON images (uploader_id, created);
CREATE INDEX feedback_user ON feedback (user_id, created);
-- A new link voids the older ones of the account.
CREATE INDEX reset_tokens_user ON reset_tokens (user_id);
-- An e-mail change waits for the link sent to the new address.
CREATE TABLE email_changes (
  token_digest TEXT PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users (id) ON DELETE CASCADE,
  new_email TEXT NOT NULL,
  expires INTEGER NOT NULL
) WITHOUT ROWID;
CREATE INDEX email_changes_user ON email_changes (user_id);
)sql"},
    {3, kSqliteSyncStep},
};

}  // namespace

std::span<const Migration> SqliteMigrations() { return kSteps; }

}  // namespace nuve::server
