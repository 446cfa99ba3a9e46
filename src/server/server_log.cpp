#include "server/server_log.h"

#include <unistd.h>

#include <string>

namespace nuve::server {
namespace {

// One write per line, so lines from several threads never interleave.
void WriteLine(std::string_view level, std::string_view what) {
  std::string line;
  line.reserve(what.size() + 32);
  line.append("nuve-account-server: ").append(level).append(what).push_back('\n');
  const char* data = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, data, left);
    if (n <= 0) return;
    data += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

void LogInfo(std::string_view what) { WriteLine("", what); }

void LogError(std::string_view what) { WriteLine("error: ", what); }

}  // namespace nuve::server
