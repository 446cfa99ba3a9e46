#pragma once
// The SQLite schema, step by step.

#include <span>

#include "server/store/migrations.h"

namespace nuve::server {

std::span<const Migration> SqliteMigrations();

}  // namespace nuve::server
