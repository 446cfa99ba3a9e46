#pragma once
// One connection to a PostgreSQL server through libpq. Parameters travel
// apart from the SQL text (PQsendQueryParams); byte strings go in binary
// form. Nothing here waits without end: connecting and every statement end
// at the connection's deadline, which the store sets for each transaction,
// whatever the server does (a server that is stopped still accepts TCP
// connections and never answers). TCP keepalives find a server that went
// away while the connection was idle.

#include <libpq-fe.h>

#include <chrono>
#include <string>

#include "server/store/sql_connection.h"

namespace nuve::server {

class PgConnection final : public SqlConnection {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  // Connects with a libpq connection string or postgresql:// address;
  // throws StoreError: kUnavailable when the server cannot be reached,
  // kTimedOut when it did not answer by `deadline`.
  PgConnection(const std::string& address, Deadline deadline);
  ~PgConnection() override;
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // Statements from now on must have their answer by `deadline`; past it
  // they throw StoreError (kTimedOut) and the connection is closed.
  void SetDeadline(Deadline deadline) { deadline_ = deadline; }

  SqlDialect dialect() const override { return SqlDialect::kPostgres; }
  SqlRows Query(std::string_view sql, std::span<const SqlParam> params) override;
  using SqlConnection::Query;
  void Execute(std::string_view script) override;
  bool Usable() const override;

 private:
  // Waits until the socket is ready for `events` or the deadline passes.
  bool Wait(short events);
  // Sends what libpq holds and collects every result of the command sent
  // last; the last one is returned, the earlier ones freed. Throws
  // StoreError for a failure or the deadline.
  PGresult* Collect();
  // Turns a failed result into a StoreError (and frees it).
  [[noreturn]] void Fail(PGresult* result);
  [[noreturn]] void GiveUp(const std::string& what);

  PGconn* conn_ = nullptr;
  Deadline deadline_;
};

}  // namespace nuve::server
