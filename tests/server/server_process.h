#pragma once
// nuve-account-server as the tests run it: a child process on 127.0.0.1
// with a port of its own, light password hashes, and its standard error
// (where development-mode mail goes) kept for reading.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/free_port.h"

namespace nuve::test {

class ServerProcess {
 public:
  // Starts the program with `args` after the tests' defaults (a free port
  // on 127.0.0.1, light hashes, no environment options) and waits until it
  // listens. Throws std::runtime_error with its log when it does not.
  explicit ServerProcess(std::vector<std::string> args);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // The program's resident memory in KiB (VmRSS); 0 when it is gone.
  long ResidentKib() const;
  // "127.0.0.1:PORT", the browser's service host.
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string url() const { return "http://" + host(); }
  // Everything the program wrote to standard error so far.
  std::string Log() const;
  // Stops it with SIGTERM; returns its exit code (-1 when killed).
  int Stop();

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::filesystem::path log_;
};

// Another program the tests need (an SMTP server); killed when it goes.
class ChildProcess {
 public:
  // argv[0] is the program's path; its output goes to /dev/null.
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

 private:
  pid_t pid_ = -1;
};

// Whether something accepts connections on 127.0.0.1:port.
bool Listening(int port);

struct CommandResult {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs the program to its end with `args` and `input` on standard input.
CommandResult RunServerCommand(const std::vector<std::string>& args, const std::string& input = "");

// The text of the last development-mode mail to `address` in a log; "".
std::string LastMailTo(const std::string& log, const std::string& address);
// The four-digit code of a register-code mail text; "".
std::string CodeInMail(const std::string& mail);
// The link of a reset or e-mail change mail text; "".
std::string LinkInMail(const std::string& mail);

// Waits until `condition` holds or `timeout` passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace nuve::test
