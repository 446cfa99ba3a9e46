#include "server/store/sqlite/sqlite_connection.h"

#include <string>

#include "server/store/store_error.h"

namespace nuve::server {
namespace {

StoreErrorKind KindOf(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return StoreErrorKind::kBusy;
    case SQLITE_FULL:
      return StoreErrorKind::kFull;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return StoreErrorKind::kCorrupt;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return StoreErrorKind::kUnavailable;
    default:
      return StoreErrorKind::kOther;
  }
}

}  // namespace

SqliteConnection::SqliteConnection(const std::filesystem::path& file, const SqliteOptions& options) {
  // The destructor does not run when the constructor throws: close here.
  try {
    const int rc = sqlite3_open_v2(file.c_str(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) Fail(rc, "cannot open " + file.string());
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, options.busy_timeout_ms);
    Execute("PRAGMA foreign_keys = ON; PRAGMA synchronous = FULL");
    if (options.max_page_count > 0) {
      Execute("PRAGMA max_page_count = " + std::to_string(options.max_page_count));
    }
  } catch (...) {
    sqlite3_close_v2(db_);
    throw;
  }
}

SqliteConnection::~SqliteConnection() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  sqlite3_close_v2(db_);
}

void SqliteConnection::Fail(int rc, const std::string& what) {
  const StoreErrorKind kind = KindOf(rc);
  if (kind == StoreErrorKind::kCorrupt || kind == StoreErrorKind::kUnavailable) usable_ = false;
  const char* detail = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
  throw StoreError(kind, "sqlite: " + what + ": " + detail);
}

sqlite3_stmt* SqliteConnection::Prepared(std::string_view sql) {
  const std::string key(sql);
  if (const auto it = statements_.find(key); it != statements_.end()) return it->second;
  sqlite3_stmt* statement = nullptr;
  const int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                    &statement, nullptr);
  if (rc != SQLITE_OK) Fail(rc, "prepare");
  statements_.emplace(key, statement);
  return statement;
}

SqlRows SqliteConnection::Query(std::string_view sql, std::span<const SqlParam> params) {
  sqlite3_stmt* statement = Prepared(sql);
  // Resets the statement however this call ends, so a failed step never
  // leaves it holding a lock or a read snapshot.
  struct Reset {
    sqlite3_stmt* s;
    ~Reset() {
      sqlite3_reset(s);
      sqlite3_clear_bindings(s);
    }
  } reset{statement};

  for (std::size_t i = 0; i < params.size(); ++i) {
    const std::string name = "$" + std::to_string(i + 1);
    const int index = sqlite3_bind_parameter_index(statement, name.c_str());
    if (index == 0) continue;
    const SqlParam& p = params[i];
    int rc = SQLITE_OK;
    switch (p.kind()) {
      case SqlParam::Kind::kNull: rc = sqlite3_bind_null(statement, index); break;
      case SqlParam::Kind::kInt: rc = sqlite3_bind_int64(statement, index, p.integer()); break;
      case SqlParam::Kind::kText:
        rc = sqlite3_bind_text64(statement, index, p.text().data(), p.text().size(), SQLITE_STATIC, SQLITE_UTF8);
        break;
      case SqlParam::Kind::kBlob:
        rc = sqlite3_bind_blob64(statement, index, p.text().data(), p.text().size(), SQLITE_STATIC);
        break;
    }
    if (rc != SQLITE_OK) Fail(rc, "bind");
  }

  SqlRows rows;
  for (;;) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) Fail(rc, "step");
    const int columns = sqlite3_column_count(statement);
    std::vector<std::optional<std::string>> cells;
    cells.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      switch (sqlite3_column_type(statement, c)) {
        case SQLITE_NULL: cells.emplace_back(std::nullopt); break;
        case SQLITE_INTEGER: cells.emplace_back(std::to_string(sqlite3_column_int64(statement, c))); break;
        default: {
          const void* data = sqlite3_column_blob(statement, c);
          const int size = sqlite3_column_bytes(statement, c);
          cells.emplace_back(data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                                  : std::string());
        }
      }
    }
    rows.emplace_back(std::move(cells));
  }
  return rows;
}

void SqliteConnection::Execute(std::string_view script) {
  const std::string text(script);
  const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc, "exec");
}

void SqliteConnection::SetDurable(bool durable) {
  if (durable == durable_) return;
  Execute(durable ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL");
  durable_ = durable;
}

}  // namespace nuve::server
