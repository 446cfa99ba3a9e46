#pragma once
// The store for several service processes: one PostgreSQL database, shared.
// Transactions run at READ COMMITTED; the statements are written so that
// each decision is one atomic statement or holds its row lock, and a
// serialisation failure or deadlock makes the transaction run again.
//
// A transaction has a fixed time to finish, waiting for a connection
// included, so that a request fails within five seconds however the
// database hangs; the server cancels a statement that runs longer itself.
// Once a transaction ran out of time, the database counts as unreachable:
// requests fail at once instead of waiting out their time one by one, while
// a thread of the store tries the database every half second until it
// answers again.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "server/store/connection_pool.h"
#include "server/store/postgres/pg_connection.h"
#include "server/store/store.h"

namespace nuve::server {

// How long one transaction may take, from its start to its commit.
inline constexpr std::chrono::milliseconds kPgTransactionTime{4500};
// What the server allows one statement (statement_timeout).
inline constexpr int kPgStatementTimeoutMs = 5000;

class PgStore final : public Store {
 public:
  // Connects, and brings the schema up to date under an advisory lock so
  // that processes starting together migrate once; throws StoreError.
  static std::unique_ptr<PgStore> Open(const std::string& address, std::size_t max_connections = 16);
  ~PgStore() override;

  std::string Describe() const override;
  std::string Backup(const std::filesystem::path& file) override;
  // Whether the database failed to answer in time and has not answered
  // since.
  bool Unreachable() const { return unreachable_; }

 protected:
  void Run(TxMode mode, const std::function<void(Tx&)>& body) override;

 private:
  PgStore(std::string address, std::size_t max_connections);
  void MarkUnreachable();
  void Probe();

  const std::string address_;
  ConnectionPool<PgConnection> pool_;
  std::atomic<bool> unreachable_{false};
  std::mutex probe_mutex_;
  std::condition_variable probe_wake_;
  bool stopping_ = false;
  std::thread prober_;
};

// The address with its password, if any, left out (for logs and messages).
std::string PostgresAddressForDisplay(const std::string& address);

}  // namespace nuve::server
