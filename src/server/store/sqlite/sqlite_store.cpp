#include "server/store/sqlite/sqlite_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <system_error>
#include <thread>

#include "server/store/sqlite/sqlite_schema.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

// Creates the file with owner-only permissions before SQLite does (its log
// files copy them): it holds password hashes.
void CreatePrivately(const std::filesystem::path& file) {
  std::error_code ec;
  if (!file.parent_path().empty()) std::filesystem::create_directories(file.parent_path(), ec);
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);
}

}  // namespace

SqliteStore::SqliteStore(std::filesystem::path file, const SqliteOptions& options, std::size_t max_connections)
    : file_(std::move(file)),
      pool_([file = file_, options] { return std::make_unique<SqliteConnection>(file, options); },
            max_connections) {}

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::filesystem::path& file, const SqliteOptions& options,
                                               std::size_t max_connections) {
  CreatePrivately(file);
  std::unique_ptr<SqliteStore> store(new SqliteStore(file, options, max_connections));
  auto lease = store->pool_.Acquire();
  lease->Execute("PRAGMA journal_mode = WAL");
  lease->Execute("BEGIN EXCLUSIVE");
  try {
    ApplyMigrations(*lease, SqliteMigrations());
    lease->Execute("COMMIT");
  } catch (...) {
    try {
      lease->Execute("ROLLBACK");
    } catch (const StoreError&) {
    }
    throw;
  }
  return store;
}

void SqliteStore::Run(TxMode mode, const std::function<void(Tx&)>& body) {
  auto lease = pool_.Acquire();
  std::unique_lock<std::mutex> writing;
  if (mode == TxMode::kRead) {
    lease->Execute("BEGIN");
  } else {
    writing = std::unique_lock(write_mutex_);
    lease->SetDurable(mode == TxMode::kWrite);
    lease->Execute("BEGIN IMMEDIATE");
  }
  try {
    Tx tx(*lease);
    body(tx);
    lease->Execute("COMMIT");
  } catch (...) {
    // A failed COMMIT may have ended the transaction already.
    if (!sqlite3_get_autocommit(lease->handle())) {
      try {
        lease->Execute("ROLLBACK");
      } catch (const StoreError&) {
      }
    }
    throw;
  }
}

std::string SqliteStore::Backup(const std::filesystem::path& file) {
  const std::filesystem::path partial = file.string() + ".partial";
  std::error_code ec;
  std::filesystem::remove(partial, ec);
  CreatePrivately(partial);
  sqlite3* copy = nullptr;
  if (sqlite3_open_v2(partial.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    const std::string message = "cannot create " + partial.string() + ": " + sqlite3_errmsg(copy);
    sqlite3_close_v2(copy);
    return message;
  }
  auto lease = pool_.Acquire();
  sqlite3_backup* backup = sqlite3_backup_init(copy, "main", lease->handle(), "main");
  std::string message;
  if (backup == nullptr) {
    message = sqlite3_errmsg(copy);
  } else {
    // Copies in steps, so writers in this and other processes only wait
    // briefly; a write in between restarts the copy from a fresh snapshot.
    int rc;
    do {
      rc = sqlite3_backup_step(backup, 256);
      if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    if (rc != SQLITE_DONE) message = sqlite3_errstr(rc);
    sqlite3_backup_finish(backup);
  }
  sqlite3_close_v2(copy);
  if (message.empty()) {
    std::filesystem::rename(partial, file, ec);
    if (ec) message = "cannot move the copy to " + file.string() + ": " + ec.message();
  }
  if (!message.empty()) std::filesystem::remove(partial, ec);
  return message;
}

}  // namespace nuve::server
