#pragma once
// What the command line asks for: nothing; a page address beginning with
// "http" (in any case); or a proxy host:port followed by the first page's
// address. Anything else is reported and ignored.

#include <string>
#include <vector>

namespace nuve::core {

struct StartRequest {
  enum class Action { kBrowse, kHelp, kVersion };
  Action action = Action::kBrowse;
  std::string address;     // the first page; "" when none was given
  std::string proxy_host;  // "" when no proxy was given
  std::string proxy_port;
  std::string problem;     // one line for standard error when the arguments were malformed
};

// `args` are the arguments after the program name.
StartRequest ParseCommandLine(const std::vector<std::string>& args);

// The text --help prints.
std::string UsageText();

}  // namespace nuve::core
