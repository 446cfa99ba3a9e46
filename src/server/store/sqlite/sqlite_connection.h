#pragma once
// One connection to the SQLite database file. Prepared statements are kept
// per connection and reused; a connection serves one thread at a time.

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>

#include "server/store/sql_connection.h"

namespace nuve::server {

struct SqliteOptions {
  int busy_timeout_ms = 5000;
  // Caps the database's size in pages (0 = no cap); tests play a full disk.
  int max_page_count = 0;
};

class SqliteConnection final : public SqlConnection {
 public:
  // Opens (creating when missing) the database file; throws StoreError.
  SqliteConnection(const std::filesystem::path& file, const SqliteOptions& options);
  ~SqliteConnection() override;
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  SqlDialect dialect() const override { return SqlDialect::kSqlite; }
  SqlRows Query(std::string_view sql, std::span<const SqlParam> params) override;
  using SqlConnection::Query;
  void Execute(std::string_view script) override;
  bool Usable() const override { return usable_; }

  // Whether commits wait until the log is on disk (FULL) or not (NORMAL);
  // switched only when it changes.
  void SetDurable(bool durable);
  sqlite3* handle() const { return db_; }

 private:
  sqlite3_stmt* Prepared(std::string_view sql);
  [[noreturn]] void Fail(int rc, const std::string& what);

  sqlite3* db_ = nullptr;
  bool usable_ = true;
  bool durable_ = true;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace nuve::server
