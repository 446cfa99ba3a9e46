#pragma once
// The PostgreSQL schema, step by step.

#include <span>

#include "server/store/migrations.h"

namespace nuve::server {

std::span<const Migration> PgMigrations();

}  // namespace nuve::server
