#pragma once
// What serving and the operators' commands both build from the options: the
// store, the password hasher and the endpoints' settings.

#include <memory>
#include <optional>
#include <string>

#include "server/api/service_config.h"
#include "server/security/password_hasher.h"
#include "server/server_options.h"
#include "server/store/store.h"

namespace nuve::server {

// Opens the database the options name; throws StoreError or
// std::invalid_argument with a message for the operator.
std::unique_ptr<Store> OpenStoreFor(const ServerOptions& options);

// The endpoints' settings; the error to show when an option is unusable.
std::optional<std::string> MakeServiceConfig(const ServerOptions& options, ServiceConfig& out);

// The folder whose disk holds the database, for the free-space reserve; ""
// for PostgreSQL, whose server watches its own disk.
std::filesystem::path DatabaseFolder(const ServerOptions& options);

// The hasher at the strength the options ask for; nullptr for an unknown one.
std::unique_ptr<PasswordHasher> MakeHasher(const ServerOptions& options);

}  // namespace nuve::server
