#pragma once
// One connection to a PostgreSQL server through libpq. Parameters travel
// apart from the SQL text (PQexecParams); byte strings go in binary form.

#include <libpq-fe.h>

#include <string>

#include "server/store/sql_connection.h"

namespace nuve::server {

class PgConnection final : public SqlConnection {
 public:
  // Connects with a libpq connection string or postgresql:// address;
  // throws StoreError (kUnavailable) when the server cannot be reached.
  explicit PgConnection(const std::string& address);
  ~PgConnection() override;
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  SqlDialect dialect() const override { return SqlDialect::kPostgres; }
  SqlRows Query(std::string_view sql, std::span<const SqlParam> params) override;
  using SqlConnection::Query;
  void Execute(std::string_view script) override;
  bool Usable() const override;

 private:
  // Turns a failed result into a StoreError (and frees it).
  [[noreturn]] void Fail(PGresult* result);

  PGconn* conn_ = nullptr;
};

}  // namespace nuve::server
