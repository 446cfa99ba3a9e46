#include "core/app/startup_trace.h"

#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <unistd.h>

namespace nuve::core {
namespace {

bool TraceWanted() {
  const char* value = std::getenv("NUVE_TRACE_STARTUP");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

// The process's start on the boot-time clock, in milliseconds: field 22 of
// /proc/self/stat, counted in clock ticks since boot.
double ProcessStartMs() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t end_of_name = text.rfind(')');
  if (end_of_name == std::string::npos) return 0;
  // Fields after the name start with field 3 (state).
  const char* p = text.c_str() + end_of_name + 2;
  for (int field = 3; field < 22 && *p; ++field) {
    p = std::strchr(p, ' ');
    if (p == nullptr) return 0;
    ++p;
  }
  const double ticks = std::strtod(p, nullptr);
  return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double BootClockMs() {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace

void StartupMark(std::string_view name) {
  static const bool wanted = TraceWanted();
  if (!wanted) return;
  static const double start = ProcessStartMs();
  std::fprintf(stderr, "startup-trace: %8.1f ms  %.*s\n", BootClockMs() - start, static_cast<int>(name.size()),
               name.data());
}

}  // namespace nuve::core
