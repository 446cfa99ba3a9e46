#pragma once
// Opens the store that a --database address names.

#include <filesystem>
#include <memory>
#include <string>

#include "server/store/sqlite/sqlite_connection.h"
#include "server/store/store.h"

namespace nuve::server {

struct StoreOptions {
  std::size_t max_connections = 16;
  SqliteOptions sqlite;
};

// The file name of the embedded database inside the data folder.
inline constexpr char kDefaultDatabaseFile[] = "accounts.db";

// "sqlite:PATH", "postgresql://..." (or "postgres://..."), or "" for the
// SQLite file in `data_dir`. Throws std::invalid_argument for an address of
// another kind, StoreError when the database cannot be opened.
std::unique_ptr<Store> OpenStore(const std::string& address, const std::filesystem::path& data_dir,
                                 const StoreOptions& options = {});

}  // namespace nuve::server
