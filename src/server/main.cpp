// nuve-account-server: the NUVE account service and its operators' commands.
// Start reading at Serve (serve.cpp) and RunAdminCommand (admin/).

#include <iostream>

#include "server/admin/admin_commands.h"
#include "server/serve.h"
#include "server/server_options.h"

int main(int argc, char** argv) {
  using namespace nuve::server;
  ServerOptions options;
  if (const auto error = ParseServerOptions(argc, argv, options)) {
    std::cerr << "nuve-account-server: " << *error << "\n(see nuve-account-server --help)\n";
    return 2;
  }
  if (options.help) {
    std::cout << ServerHelpText();
    return 0;
  }
  if (options.command.empty() || (options.command.size() == 1 && options.command[0] == "serve")) {
    return Serve(options);
  }
  return RunAdminCommand(options, std::cin, std::cout, std::cerr);
}
