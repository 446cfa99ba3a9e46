#include "server/store/migrations.h"

#include <ctime>
#include <string>

#include "server/store/store_error.h"

namespace nuve::server {

void ApplyMigrations(SqlConnection& sql, std::span<const Migration> steps) {
  sql.Execute("CREATE TABLE IF NOT EXISTS schema_migrations (version INTEGER PRIMARY KEY, applied BIGINT NOT NULL)");
  const std::int64_t current = sql.Query("SELECT coalesce(max(version), 0) FROM schema_migrations").at(0).Int(0);
  const int newest = steps.empty() ? 0 : steps.back().version;
  if (current > newest) {
    throw StoreError(StoreErrorKind::kOther, "the database has schema version " + std::to_string(current) +
                                                 ", newer than this program knows (" + std::to_string(newest) +
                                                 "); run a newer nuve-account-server");
  }
  for (const Migration& step : steps) {
    if (step.version <= current) continue;
    sql.Execute(step.sql);
    sql.Query("INSERT INTO schema_migrations (version, applied) VALUES ($1, $2)",
              {step.version, static_cast<std::int64_t>(std::time(nullptr)) * 1000});
  }
}

}  // namespace nuve::server
