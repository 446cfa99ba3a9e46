#pragma once
// Marks on the way to the first page, for finding where start-up time goes.
// With NUVE_TRACE_STARTUP=1 in the environment every mark prints one line on
// standard error: the milliseconds since the process started and the mark's
// name. Without it a mark costs one flag test.

#include <string_view>

namespace nuve::core {

void StartupMark(std::string_view name);

}  // namespace nuve::core
