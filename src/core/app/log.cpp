#include "core/app/log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace nuve::core {
namespace {

void Write(const char* level, std::string_view where, std::string_view what) {
  // Lines from worker threads must not interleave.
  static std::mutex mutex;
  std::string line = "nuve: ";
  line += level;
  line += where;
  line += ": ";
  line += what;
  line += '\n';
  std::lock_guard lock(mutex);
  std::fputs(line.c_str(), stderr);
}

}  // namespace

void LogWarning(std::string_view where, std::string_view what) { Write("warning: ", where, what); }
void LogError(std::string_view where, std::string_view what) { Write("error: ", where, what); }

}  // namespace nuve::core
