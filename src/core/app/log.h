#pragma once
// One-line diagnostics on standard error. The program has no log file; these
// lines are for whoever started it from a terminal.

#include <string_view>

namespace nuve::core {

void LogWarning(std::string_view where, std::string_view what);
void LogError(std::string_view where, std::string_view what);

}  // namespace nuve::core
