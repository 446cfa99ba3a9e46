#include "server_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace nuve::test {
namespace {

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::filesystem::path TempFile(const char* stem) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(stem) + ".XXXXXX")).string();
  const int fd = mkstemp(pattern.data());
  if (fd >= 0) close(fd);
  return pattern;
}

// Starts the program with its standard streams on the given files; the
// environment loses every NUVE_ACCOUNT_* variable, so only `args` count.
pid_t SpawnProgram(std::vector<std::string> all, const std::string& in, const std::string& out,
                   const std::string& err) {
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const auto redirect = [](const std::string& file, int target, int flags) {
      const int fd = open(file.c_str(), flags, 0600);
      if (fd >= 0) dup2(fd, target);
    };
    redirect(in, STDIN_FILENO, O_RDONLY);
    redirect(out, STDOUT_FILENO, O_WRONLY | O_TRUNC);
    redirect(err, STDERR_FILENO, O_WRONLY | O_TRUNC);
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.starts_with("NUVE_ACCOUNT_")) unsetenv(entry.substr(0, entry.find('=')).c_str());
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& in, const std::string& out,
            const std::string& err) {
  std::vector<std::string> all = {NUVE_ACCOUNT_SERVER};
  all.insert(all.end(), args.begin(), args.end());
  return SpawnProgram(all, in, out, err);
}

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

ServerProcess::ServerProcess(std::vector<std::string> args) : log_(TempFile("nuve-server-log")) {
  // The server answers an oversized request and closes while the test's
  // client may still be writing it: that write must fail, not kill the test.
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> all = {"--listen", "127.0.0.1:0", "--password-hash", "light"};
  all.insert(all.end(), args.begin(), args.end());
  pid_ = Spawn(all, "/dev/null", "/dev/null", log_.string());
  const std::regex listening(R"(listening on https?://127\.0\.0\.1:(\d+))");
  std::smatch match;
  std::string log;
  const bool up = WaitUntil(
      [&] {
        log = Log();
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = -1;
          return true;
        }
        return std::regex_search(log, match, listening);
      },
      std::chrono::seconds(30));
  if (!up || pid_ < 0) {
    if (pid_ > 0) Stop();
    throw std::runtime_error("nuve-account-server did not start:\n" + log);
  }
  port_ = std::stoi(match[1]);
}

ServerProcess::~ServerProcess() {
  Stop();
  std::error_code ec;
  std::filesystem::remove(log_, ec);
}

std::string ServerProcess::Log() const { return ReadFile(log_); }

long ServerProcess::ResidentKib() const {
  if (pid_ <= 0) return 0;
  std::istringstream status(ReadFile("/proc/" + std::to_string(pid_) + "/status"));
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  }
  return 0;
}

int ServerProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return ExitCode(status);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv)
    : pid_(SpawnProgram(argv, "/dev/null", "/dev/null", "/dev/null")) {}

ChildProcess::~ChildProcess() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

bool Listening(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

CommandResult RunServerCommand(const std::vector<std::string>& args, const std::string& input) {
  const auto in = TempFile("nuve-cmd-in");
  const auto out = TempFile("nuve-cmd-out");
  const auto err = TempFile("nuve-cmd-err");
  std::ofstream(in, std::ios::binary) << input;
  const pid_t pid = Spawn(args, in.string(), out.string(), err.string());
  int status = 0;
  waitpid(pid, &status, 0);
  CommandResult result{ExitCode(status), ReadFile(out), ReadFile(err)};
  for (const auto& f : {in, out, err}) std::filesystem::remove(f);
  return result;
}

std::string LastMailTo(const std::string& log, const std::string& address) {
  const std::string start = "---- mail (development mode, not sent) ----\nTo: " + address + "\n";
  const std::size_t at = log.rfind(start);
  if (at == std::string::npos) return {};
  const std::size_t end = log.find("---- end of mail ----", at);
  return log.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string CodeInMail(const std::string& mail) {
  std::smatch match;
  return std::regex_search(mail, match, std::regex("验证码是：([0-9]{4})")) ? match[1].str() : "";
}

std::string LinkInMail(const std::string& mail) {
  std::smatch match;
  return std::regex_search(mail, match, std::regex(R"(https?://\S+/(reset|email)\?t=[0-9a-f]{64})")) ? match[0].str()
                                                                                              : "";
}

}  // namespace nuve::test
