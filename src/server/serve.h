#pragma once
// Runs the service until SIGINT or SIGTERM.

#include "server/server_options.h"

namespace nuve::server {

// The process's exit code: 0 after a clean stop, 1 when the service cannot
// start (the reason is on standard error), 2 for unusable options.
int Serve(const ServerOptions& options);

}  // namespace nuve::server
