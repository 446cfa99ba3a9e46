// Tx: the favourites sync. Every write names the generation (and revision)
// it was made against and changes nothing when the row has moved on.
#include "server/store/tx.h"

namespace nuve::server {
namespace {

constexpr char kColumns[] =
    "generation, revision, key_reset, kdf, kdf_ops, kdf_mem, salt, wrapped_key, blob";

SyncRecord RecordFromRow(const SqlRow& row) {
  SyncRecord r;
  r.generation = row.Int(0);
  r.revision = row.Int(1);
  r.key_reset = row.Int(2) != 0;
  r.kdf = row.Text(3);
  r.kdf_ops = row.Int(4);
  r.kdf_mem = row.Int(5);
  r.salt = row.Text(6);
  r.wrapped_key = row.Text(7);
  if (!row.IsNull(8)) r.blob = row.Text(8);
  return r;
}

std::optional<std::pair<std::int64_t, std::int64_t>> FirstPair(const SqlRows& rows) {
  if (rows.empty()) return std::nullopt;
  return std::make_pair(rows.front().Int(0), rows.front().Int(1));
}

}  // namespace

std::optional<SyncRecord> Tx::SyncRecordOf(std::int64_t user_id) {
  const SqlRows rows =
      sql_.Query(std::string("SELECT ") + kColumns + " FROM favourites_sync WHERE user_id = $1", {user_id});
  if (rows.empty()) return std::nullopt;
  return RecordFromRow(rows.front());
}

std::optional<std::pair<std::int64_t, std::int64_t>> Tx::PutSyncKey(std::int64_t user_id, const SyncKeyWrite& key,
                                                                     std::int64_t now) {
  const SqlParam salt = SqlParam::Blob(key.salt);
  const SqlParam wrapped = SqlParam::Blob(key.wrapped_key);
  if (key.generation == 0) {
    if (!key.fresh) return std::nullopt;
    return FirstPair(sql_.Query(
        "INSERT INTO favourites_sync (user_id, generation, revision, key_reset, kdf, kdf_ops, kdf_mem, salt, "
        "wrapped_key, blob, updated) VALUES ($1, 1, 0, 0, $2, $3, $4, $5, $6, NULL, $7) "
        "ON CONFLICT (user_id) DO NOTHING RETURNING generation, revision",
        {user_id, key.kdf, key.kdf_ops, key.kdf_mem, salt, wrapped, now}));
  }
  if (key.fresh) {
    // A new data key: the favourites of the old one are unreadable with it.
    return FirstPair(sql_.Query(
        "UPDATE favourites_sync SET generation = generation + 1, revision = revision + 1, key_reset = 0, "
        "kdf = $3, kdf_ops = $4, kdf_mem = $5, salt = $6, wrapped_key = $7, blob = NULL, updated = $8 "
        "WHERE user_id = $1 AND generation = $2 RETURNING generation, revision",
        {user_id, key.generation, key.kdf, key.kdf_ops, key.kdf_mem, salt, wrapped, now}));
  }
  // The same key wrapped anew: never over a reset, which wants a new key.
  return FirstPair(sql_.Query(
      "UPDATE favourites_sync SET kdf = $3, kdf_ops = $4, kdf_mem = $5, salt = $6, wrapped_key = $7, updated = $8 "
      "WHERE user_id = $1 AND generation = $2 AND key_reset = 0 RETURNING generation, revision",
      {user_id, key.generation, key.kdf, key.kdf_ops, key.kdf_mem, salt, wrapped, now}));
}

std::optional<std::int64_t> Tx::PutSyncBlob(std::int64_t user_id, std::int64_t generation, std::int64_t revision,
                                            std::string_view blob, std::int64_t now) {
  const SqlRows rows = sql_.Query(
      "UPDATE favourites_sync SET revision = revision + 1, blob = $4, updated = $5 "
      "WHERE user_id = $1 AND generation = $2 AND revision = $3 AND key_reset = 0 RETURNING revision",
      {user_id, generation, revision, SqlParam::Blob(blob), now});
  if (rows.empty()) return std::nullopt;
  return rows.front().Int(0);
}

void Tx::MarkSyncKeyReset(std::int64_t user_id) {
  sql_.Query("UPDATE favourites_sync SET key_reset = 1 WHERE user_id = $1", {user_id});
}

}  // namespace nuve::server
