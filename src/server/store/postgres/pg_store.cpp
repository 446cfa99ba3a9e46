#include "server/store/postgres/pg_store.h"

#include <optional>

#include "server/store/postgres/pg_schema.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kAttempts = 3;
// The end of the transaction this thread runs: new connections must be up
// by then too.
thread_local SteadyClock::time_point t_deadline = SteadyClock::time_point::max();
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
      pool_([address = address_] {
              const bool in_transaction = t_deadline != SteadyClock::time_point::max();
              const auto deadline = in_transaction ? t_deadline : SteadyClock::now() + kPgTransactionTime;
              return std::make_unique<PgConnection>(address, deadline);
            },
            max_connections),
      prober_([this] { Probe(); }) {}

PgStore::~PgStore() {
  {
    std::lock_guard lock(probe_mutex_);
    stopping_ = true;
  }
  probe_wake_.notify_all();
  prober_.join();
}

void PgStore::MarkUnreachable() {
  if (!unreachable_.exchange(true)) probe_wake_.notify_all();
}

void PgStore::Probe() {
  std::unique_lock lock(probe_mutex_);
  for (;;) {
    probe_wake_.wait(lock, [this] { return stopping_ || unreachable_; });
    if (stopping_) return;
    lock.unlock();
    try {
      PgConnection probe(address_, SteadyClock::now() + kPgTransactionTime);
      probe.SetDeadline(SteadyClock::now() + kPgTransactionTime);
      probe.Query("SELECT 1");
      unreachable_ = false;
    } catch (const StoreError&) {
    }
    lock.lock();
    if (unreachable_) probe_wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return stopping_; });
  }
}

std::unique_ptr<PgStore> PgStore::Open(const std::string& address, std::size_t max_connections) {
  std::unique_ptr<PgStore> store(new PgStore(address, max_connections));
  store->Run(TxMode::kWrite, [](Tx&) {});  // proves the connection before migrating
  auto lease = store->pool_.Acquire();
  lease->SetDeadline(SteadyClock::now() + std::chrono::minutes(10));  // migrations may take a while
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
  if (unreachable_) throw StoreError(StoreErrorKind::kUnavailable, "postgresql: the database does not answer");
  const auto deadline = SteadyClock::now() + kPgTransactionTime;
  struct DeadlineScope {
    explicit DeadlineScope(SteadyClock::time_point d) { t_deadline = d; }
    ~DeadlineScope() { t_deadline = SteadyClock::time_point::max(); }
  } scope(deadline);
  const std::string limit = "; SET LOCAL statement_timeout = " + std::to_string(kPgStatementTimeoutMs);
  int stale_connections = 0;
  for (int attempt = 1;; ++attempt) {
    std::optional<ConnectionPool<PgConnection>::Lease> held;
    try {
      held.emplace(pool_.Acquire(deadline));
    } catch (const StoreError& e) {
      if (e.kind() == StoreErrorKind::kTimedOut) MarkUnreachable();  // a new connection, not up in time
      throw;
    }
    auto& lease = *held;
    lease->SetDeadline(deadline);
    bool begun = false;
    try {
      switch (mode) {
        case TxMode::kRead: lease->Execute("BEGIN READ ONLY" + limit); break;
        case TxMode::kWrite: lease->Execute("BEGIN" + limit); break;
        // A renewal lost in a crash only shortens a session: it need not
        // wait for the log to reach the disk.
        case TxMode::kTouch: lease->Execute("BEGIN; SET LOCAL synchronous_commit = off" + limit); break;
      }
      begun = true;
      Tx tx(*lease);
      body(tx);
      lease->Execute("COMMIT");
      return;
    } catch (const StoreError& e) {
      if (e.kind() == StoreErrorKind::kTimedOut) {
        MarkUnreachable();  // the connection is gone already
        throw;
      }
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
