#pragma once
// Schema step 3 of both databases: the favourites sync's table. Its own file,
// so that the step reads the same in both schema lists.

namespace nuve::server {

inline constexpr char kSqliteSyncStep[] = R"sql(
CREATE TABLE favourites_sync (
  user_id INTEGER PRIMARY KEY REFERENCES users (id) ON DELETE CASCADE,
  generation INTEGER NOT NULL,
  revision INTEGER NOT NULL,
  key_reset INTEGER NOT NULL DEFAULT 0,
  kdf TEXT NOT NULL,
  kdf_ops INTEGER NOT NULL,
  kdf_mem INTEGER NOT NULL,
  salt BLOB NOT NULL,
  wrapped_key BLOB NOT NULL,
  blob BLOB,
  updated INTEGER NOT NULL
);
)sql";

inline constexpr char kPostgresSyncStep[] = R"sql(
CREATE TABLE favourites_sync (
  user_id BIGINT PRIMARY KEY REFERENCES users (id) ON DELETE CASCADE,
  generation BIGINT NOT NULL,
  revision BIGINT NOT NULL,
  key_reset INTEGER NOT NULL DEFAULT 0,
  kdf TEXT NOT NULL,
  kdf_ops BIGINT NOT NULL,
  kdf_mem BIGINT NOT NULL,
  salt BYTEA NOT NULL,
  wrapped_key BYTEA NOT NULL,
  blob BYTEA,
  updated BIGINT NOT NULL
);
)sql";

}  // namespace nuve::server
