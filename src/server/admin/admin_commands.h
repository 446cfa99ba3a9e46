#pragma once
// The operators' commands, run against the same database as the service
// (also while it runs): accounts, feedback, announcements, the published
// version and backups.

#include <iosfwd>

#include "server/server_options.h"

namespace nuve::server {

// Runs options.command. Returns the exit code: 0 done, 1 failed, 2 a
// command or argument that is not understood.
int RunAdminCommand(const ServerOptions& options, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace nuve::server
