#include "server/store/postgres/pg_store.h"

#include "server/store/postgres/pg_schema.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

constexpr int kAttempts = 3;
// Any fixed number, the same in every process: the key of the lock that
// keeps two starting processes from migrating at once.
constexpr char kMigrationLock[] = "SELECT pg_advisory_xact_lock(8808001)";

void RollBackQuietly(PgConnection& connection) {
  if (!connection.Usable()) return;
  try {
    connection.Execute("ROLLBACK");
  } catch (const StoreError&) {
  }
}

}  // namespace

std::string PostgresAddressForDisplay(const std::string& address) {
  const std::size_t scheme = address.find("://");
  if (scheme == std::string::npos) {
    // A key=value connection string: drop a password=... pair.
    const std::size_t at = address.find("password=");
    if (at == std::string::npos) return address;
    std::size_t end = address.find(' ', at);
    return address.substr(0, at) + "password=***" + (end == std::string::npos ? "" : address.substr(end));
  }
  const std::size_t authority = scheme + 3;
  const std::size_t at = address.find('@', authority);
  const std::size_t slash = address.find('/', authority);
  if (at == std::string::npos || (slash != std::string::npos && slash < at)) return address;
  const std::size_t colon = address.find(':', authority);
  if (colon == std::string::npos || colon > at) return address;
  return address.substr(0, colon) + ":***" + address.substr(at);
}

PgStore::PgStore(std::string address, std::size_t max_connections)
    : address_(std::move(address)),
      pool_([address = address_] { return std::make_unique<PgConnection>(address); }, max_connections) {}

std::unique_ptr<PgStore> PgStore::Open(const std::string& address, std::size_t max_connections) {
  std::unique_ptr<PgStore> store(new PgStore(address, max_connections));
  store->Run(TxMode::kWrite, [](Tx&) {});  // proves the connection before migrating
  auto lease = store->pool_.Acquire();
  lease->Execute("BEGIN");
  try {
    lease->Execute(kMigrationLock);
    ApplyMigrations(*lease, PgMigrations());
    lease->Execute("COMMIT");
  } catch (...) {
    RollBackQuietly(*lease);
    throw;
  }
  return store;
}

std::string PgStore::Describe() const { return PostgresAddressForDisplay(address_); }

std::string PgStore::Backup(const std::filesystem::path& file) {
  return "a PostgreSQL database is copied with pg_dump while the service runs, for example:\n  pg_dump "
         "--format=custom --file='" +
         file.string() + "' '" + PostgresAddressForDisplay(address_) +
         "'\n(restore with pg_restore; give the password through PGPASSWORD or ~/.pgpass)";
}

void PgStore::Run(TxMode mode, const std::function<void(Tx&)>& body) {
  int stale_connections = 0;
  for (int attempt = 1;; ++attempt) {
    auto lease = pool_.Acquire();
    bool begun = false;
    try {
      switch (mode) {
        case TxMode::kRead: lease->Execute("BEGIN READ ONLY"); break;
        case TxMode::kWrite: lease->Execute("BEGIN"); break;
        // A renewal lost in a crash only shortens a session: it need not
        // wait for the log to reach the disk.
        case TxMode::kTouch: lease->Execute("BEGIN; SET LOCAL synchronous_commit = off"); break;
      }
      begun = true;
      Tx tx(*lease);
      body(tx);
      lease->Execute("COMMIT");
      return;
    } catch (const StoreError& e) {
      if (begun) RollBackQuietly(*lease);
      // Again on a serialisation failure or deadlock; and when a pooled
      // connection turned out dead before anything was done (the server
      // restarted since it was last used).
      // Each dead connection leaves the pool, so this ends with a new one.
      const bool stale = !begun && lease.reused() && e.kind() == StoreErrorKind::kUnavailable;
      if (stale && ++stale_connections < 100) {
        --attempt;
        continue;
      }
      if (attempt >= kAttempts || e.kind() != StoreErrorKind::kBusy) throw;
    } catch (...) {
      if (begun) RollBackQuietly(*lease);
      throw;
    }
  }
}

}  // namespace nuve::server
