#pragma once
// Reads a new password for an operator's command: asked twice without echo
// on a terminal, or the first line of standard input otherwise.

#include <iosfwd>
#include <optional>
#include <string>

namespace nuve::server {

// nullopt (after telling `err` why) when none could be read or the two
// entries differ.
std::optional<std::string> ReadNewPassword(std::istream& in, std::ostream& err);

}  // namespace nuve::server
