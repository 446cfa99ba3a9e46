#pragma once
// What the command line asks for: nothing; a page address beginning with
// "http" (in any case), a file: address or the path of a local file (the
// desktop hands these over when NUVE is the default browser); or a proxy
// host:port, then the first page's address. Anything else is refused: a
// user who asked for a proxy must never browse without it.

#include <string>
#include <vector>

namespace nuve::core {

struct StartRequest {
  // kRefuse: the arguments make no sense; `problem` says why, nothing opens.
  enum class Action { kBrowse, kHelp, kVersion, kRefuse };
  Action action = Action::kBrowse;
  std::string address;     // the first page; "" when none was given
  std::string proxy_host;  // "" when no proxy was given
  std::string proxy_port;
  std::string problem;     // one line for standard error when the arguments are refused
};

// `args` are the arguments after the program name.
StartRequest ParseCommandLine(const std::vector<std::string>& args);

// The text --help prints.
std::string UsageText();

}  // namespace nuve::core
