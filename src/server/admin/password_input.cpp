#include "server/admin/password_input.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace nuve::server {
namespace {

// Echo is off while it lives (standard input is a terminal).
class NoEcho {
 public:
  NoEcho() : active_(tcgetattr(STDIN_FILENO, &saved_) == 0) {
    if (!active_) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  ~NoEcho() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  NoEcho(const NoEcho&) = delete;
  NoEcho& operator=(const NoEcho&) = delete;

 private:
  termios saved_{};
  bool active_;
};

std::optional<std::string> ReadLine(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::optional<std::string> ReadNewPassword(std::istream& in, std::ostream& err) {
  const bool terminal = &in == &std::cin && isatty(STDIN_FILENO);
  if (!terminal) {
    auto line = ReadLine(in);
    if (!line) err << "no password on standard input\n";
    return line;
  }
  NoEcho quiet;
  err << "New password: " << std::flush;
  auto first = ReadLine(in);
  err << "\nAgain: " << std::flush;
  auto second = ReadLine(in);
  err << "\n";
  if (!first || !second || *first != *second) {
    err << "the two passwords differ\n";
    return std::nullopt;
  }
  return first;
}

}  // namespace nuve::server
