#include "server/store/open_store.h"

#include <stdexcept>

#include "server/store/postgres/pg_store.h"
#include "server/store/sqlite/sqlite_store.h"

namespace nuve::server {

std::unique_ptr<Store> OpenStore(const std::string& address, const std::filesystem::path& data_dir,
                                 const StoreOptions& options) {
  if (address.empty()) {
    return SqliteStore::Open(data_dir / kDefaultDatabaseFile, options.sqlite, options.max_connections);
  }
  if (address.starts_with("sqlite:")) {
    const std::string path = address.substr(7);
    if (path.empty()) throw std::invalid_argument("--database sqlite: needs a file name, as in sqlite:/var/lib/nuve/accounts.db");
    return SqliteStore::Open(path, options.sqlite, options.max_connections);
  }
  if (address.starts_with("postgresql://") || address.starts_with("postgres://")) {
    return PgStore::Open(address, options.max_connections);
  }
  throw std::invalid_argument("--database must be sqlite:PATH or postgresql://..., not " +
                              PostgresAddressForDisplay(address));
}

}  // namespace nuve::server
