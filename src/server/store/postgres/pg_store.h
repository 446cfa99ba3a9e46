#pragma once
// The store for several service processes: one PostgreSQL database, shared.
// Transactions run at READ COMMITTED; the statements are written so that
// each decision is one atomic statement or holds its row lock, and a
// serialisation failure or deadlock makes the transaction run again.

#include <memory>
#include <string>

#include "server/store/connection_pool.h"
#include "server/store/postgres/pg_connection.h"
#include "server/store/store.h"

namespace nuve::server {

class PgStore final : public Store {
 public:
  // Connects, and brings the schema up to date under an advisory lock so
  // that processes starting together migrate once; throws StoreError.
  static std::unique_ptr<PgStore> Open(const std::string& address, std::size_t max_connections = 16);

  std::string Describe() const override;
  std::string Backup(const std::filesystem::path& file) override;

 protected:
  void Run(TxMode mode, const std::function<void(Tx&)>& body) override;

 private:
  PgStore(std::string address, std::size_t max_connections);

  const std::string address_;
  ConnectionPool<PgConnection> pool_;
};

// The address with its password, if any, left out (for logs and messages).
std::string PostgresAddressForDisplay(const std::string& address);

}  // namespace nuve::server
