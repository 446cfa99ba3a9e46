#pragma once
// Versioned schema changes. Each database kind lists its own steps; the table
// "schema_migrations" records which have run. Steps are never edited once
// released: a change to the schema is a new step.

#include <span>

#include "server/store/sql_connection.h"

namespace nuve::server {

struct Migration {
  int version;
  const char* sql;  // one or more statements
};

// Runs the steps newer than the database's version, in order, on a connection
// whose transaction the caller has begun (and locked against other processes
// starting at the same moment). Throws StoreError, also when the database was
// written by a newer program than this one.
void ApplyMigrations(SqlConnection& sql, std::span<const Migration> steps);

}  // namespace nuve::server
