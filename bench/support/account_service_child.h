#pragma once
// nuve-account-server as the benchmarks run it: a child process on
// 127.0.0.1 with a port of its own, read from its log once it listens, and
// stopped with SIGTERM when it goes.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace nuve::bench {

inline std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class AccountServiceChild {
 public:
  AccountServiceChild() = default;
  AccountServiceChild(const AccountServiceChild&) = delete;
  AccountServiceChild& operator=(const AccountServiceChild&) = delete;
  ~AccountServiceChild() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  // Starts `program` with "--listen 127.0.0.1:0 --data `data`" and `args`,
  // its standard error in data/service.log, and waits until it listens.
  // On failure the log goes to standard error.
  bool Start(const char* program, const std::filesystem::path& data, const std::vector<std::string>& args) {
    const std::filesystem::path log = data / "service.log";
    std::vector<std::string> words{program, "--listen", "127.0.0.1:0", "--data", data.string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      std::freopen(log.c_str(), "w", stderr);
      std::freopen("/dev/null", "w", stdout);
      execv(program, argv.data());
      _exit(127);
    }
    const std::regex listening(R"(listening on http://127\.0\.0\.1:(\d+))");
    for (int i = 0; i < 500; ++i) {
      std::smatch match;
      const std::string text = ReadFile(log);
      if (std::regex_search(text, match, listening)) {
        port_ = std::stoi(match[1]);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::cerr << ReadFile(log);
    return false;
  }

  pid_t pid() const { return pid_; }
  int port() const { return port_; }

  // The service's user and system time so far, in milliseconds.
  double CpuMs() const {
    std::istringstream stat(ReadFile("/proc/" + std::to_string(pid_) + "/stat"));
    std::string field;
    std::vector<std::string> fields;
    while (stat >> field) fields.push_back(field);
    if (fields.size() < 15) return 0;
    return (std::stod(fields[13]) + std::stod(fields[14])) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace nuve::bench
