#pragma once
// The embedded store: one SQLite file in WAL mode. Readers run side by side;
// writers take turns (one lock in this process, SQLite's own lock between
// processes), each in an immediate transaction so it never has to upgrade a
// stale read.

#include <filesystem>
#include <memory>
#include <mutex>

#include "server/store/connection_pool.h"
#include "server/store/sqlite/sqlite_connection.h"
#include "server/store/store.h"

namespace nuve::server {

class SqliteStore final : public Store {
 public:
  // Opens or creates the file (owner-only permissions), switches it to WAL
  // and brings its schema up to date; throws StoreError.
  static std::unique_ptr<SqliteStore> Open(const std::filesystem::path& file, const SqliteOptions& options = {},
                                           std::size_t max_connections = 16);

  std::string Describe() const override { return "sqlite:" + file_.string(); }
  std::string Backup(const std::filesystem::path& file) override;

 protected:
  void Run(TxMode mode, const std::function<void(Tx&)>& body) override;

 private:
  SqliteStore(std::filesystem::path file, const SqliteOptions& options, std::size_t max_connections);

  const std::filesystem::path file_;
  ConnectionPool<SqliteConnection> pool_;
  std::mutex write_mutex_;
};

}  // namespace nuve::server
