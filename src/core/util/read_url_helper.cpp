#include "core/util/read_url_helper.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/app/log.h"

extern char** environ;

namespace nuve::core {
namespace {

constexpr char kHelperName[] = "nuve-fetch";
// How long a helper may run past its own time-out before it is ended.
constexpr std::chrono::milliseconds kGrace{5000};
// How often a waiting read looks at the stop request.
constexpr int kPollSliceMs = 100;

bool IsProgram(const std::filesystem::path& path) {
  return !path.empty() && access(path.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(path);
}

// Ends the helper (when `kill_first`) and collects its exit status; true
// when it exited with 0.
bool Reap(pid_t pid, bool kill_first) {
  if (kill_first) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out > 0;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

// The installed helper's path, from the build's libexec folder. One whole
// string in the program, so a package check can read where it looks.
extern const char kInstalledFetchHelper[];
const char kInstalledFetchHelper[] = NUVE_FETCH_HELPER_INSTALLED;

std::filesystem::path FetchHelperPath() {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    if (const std::filesystem::path beside = program.parent_path() / kHelperName; IsProgram(beside)) return beside;
  }
  if (const std::filesystem::path installed = kInstalledFetchHelper; IsProgram(installed)) return installed;
  return {};
}

std::optional<std::string> ReadUrlInHelper(const std::filesystem::path& helper, const std::string& url,
                                           const ReadUrlOptions& options) {
  if (url.empty()) return std::string();
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return std::nullopt;

  std::vector<std::string> args = {helper.string(), "--timeout-ms", std::to_string(options.timeout_ms),
                                   "--max-bytes", std::to_string(options.max_bytes)};
  if (!options.proxy.empty()) args.insert(args.end(), {"--proxy", options.proxy});
  args.push_back("--");
  args.push_back(url);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // The helper gets nothing of this process but its standard error: no
  // input, the pipe as its output, no other open file.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (spawned != 0) {
    close(pipe_fds[0]);
    LogWarning("read-url", "cannot start " + helper.string() + ": " + std::strerror(spawned));
    return std::nullopt;
  }

  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(options.timeout_ms) + kGrace;
  std::string body;
  bool ended_early = false;
  char buffer[16384];
  for (;;) {
    if (options.stop.stop_requested()) {
      ended_early = true;
      break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      LogWarning("read-url", url + ": the fetch helper did not finish in time");
      ended_early = true;
      break;
    }
    pollfd ready{pipe_fds[0], POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), kPollSliceMs)));
    if (polled < 0 && errno != EINTR) {
      ended_early = true;
      break;
    }
    if (polled <= 0) continue;
    const ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the helper closed its output: it is done
    body.append(buffer, static_cast<std::size_t>(n));
    if (body.size() > options.max_bytes) {
      LogWarning("read-url", url + ": body too large");
      ended_early = true;
      break;
    }
  }
  close(pipe_fds[0]);
  const bool fetched = Reap(pid, ended_early);
  if (ended_early || !fetched) return std::string();
  return body;
}

std::string ReadUrlApart(const std::string& url, const ReadUrlOptions& options) {
  if (const std::filesystem::path helper = FetchHelperPath(); !helper.empty()) {
    if (std::optional<std::string> body = ReadUrlInHelper(helper, url, options)) return std::move(*body);
  }
  return ReadUrl(url, options);
}

int RunFetchHelper(int argc, char** argv, int out_fd) {
  ReadUrlOptions options;
  std::string url;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--" && i + 2 == argc) {
      url = argv[++i];
    } else if (arg == "--proxy" && has_value) {
      options.proxy = argv[++i];
    } else if (arg == "--timeout-ms" && has_value && ParseNumber(argv[i + 1], options.timeout_ms)) {
      ++i;
    } else if (arg == "--max-bytes" && has_value && ParseNumber(argv[i + 1], options.max_bytes)) {
      ++i;
    } else {
      LogError(kHelperName, "cannot read the command line at \"" + std::string(arg) +
                                "\"; usage: nuve-fetch [--proxy HOST:PORT] [--timeout-ms N] [--max-bytes N] -- URL");
      return 2;
    }
  }
  if (url.empty()) {
    LogError(kHelperName, "no address given; usage: nuve-fetch [--proxy HOST:PORT] [--timeout-ms N] [--max-bytes N] -- URL");
    return 2;
  }
  const std::string body = ReadUrl(url, options);
  if (body.empty()) return 1;
  return WriteAll(out_fd, body) ? 0 : 1;
}

}  // namespace nuve::core
