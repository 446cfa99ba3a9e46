// bench_account_service [--seconds N] [--clients N] [--logins 0]
//
// Starts nuve-account-server on 127.0.0.1 with a fresh SQLite database and
// the default (interactive) password hashes, then drives it with 64
// concurrent clients, each on its own kept-alive connection:
//   1. keep-alives with valid tokens for N seconds: requests per second and
//      the 99th percentile of their latency;
//   2. logins for N seconds: logins per second, beside the time of one hash
//      on this machine, which is what bounds them.
// The clients run on the same machine and share its cores with the service.
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "server/api/service_config.h"
#include "server/security/password_hasher.h"
#include "server/security/secret_token.h"
#include "server/store/sqlite/sqlite_store.h"

namespace {

using Clock = std::chrono::steady_clock;
using nuve::server::kDefaultAppKey;

constexpr char kPassword[] = "bench-password";

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The service as a child process; its port is read from its log.
struct Service {
  pid_t pid = -1;
  int port = 0;
  ~Service() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

bool StartService(Service& service, const std::filesystem::path& data) {
  const std::filesystem::path log = data / "service.log";
  service.pid = fork();
  if (service.pid == 0) {
    std::freopen(log.c_str(), "w", stderr);
    std::freopen("/dev/null", "w", stdout);
    execl(NUVE_ACCOUNT_SERVER, NUVE_ACCOUNT_SERVER, "--listen", "127.0.0.1:0", "--data", data.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::regex listening(R"(listening on http://127\.0\.0\.1:(\d+))");
  for (int i = 0; i < 300; ++i) {
    std::smatch match;
    const std::string text = ReadFile(log);
    if (std::regex_search(text, match, listening)) {
      service.port = std::stoi(match[1]);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::cerr << ReadFile(log);
  return false;
}

std::string Account(int i) { return std::to_string(60000000 + i); }

std::string LoginBody(int i) {
  return "account=" + Account(i) + "&password=" + kPassword + "&appKey=" + kDefaultAppKey + "&loginKey=";
}

// Runs `work` on `clients` threads for `seconds`; each call is one request
// and returns whether it succeeded. Latencies of successful calls are kept.
struct Phase {
  long ok = 0;
  long failed = 0;
  double seconds = 0;
  std::vector<double> latencies_ms;
};

template <class Work>
Phase RunPhase(int clients, int port, double seconds, Work work) {
  std::atomic<bool> stop{false};
  std::vector<Phase> per(static_cast<std::size_t>(clients));
  std::vector<std::thread> threads;
  const auto start = Clock::now();
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);  // as libcurl does; else Nagle adds 40 ms
      client.set_read_timeout(120);  // logins queue behind the hash
      Phase& mine = per[static_cast<std::size_t>(c)];
      while (!stop) {
        const auto t0 = Clock::now();
        const bool ok = work(client, c);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (ok) {
          ++mine.ok;
          mine.latencies_ms.push_back(ms);
        } else {
          ++mine.failed;
        }
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (auto& t : threads) t.join();
  Phase all;
  all.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (auto& p : per) {
    all.ok += p.ok;
    all.failed += p.failed;
    all.latencies_ms.insert(all.latencies_ms.end(), p.latencies_ms.begin(), p.latencies_ms.end());
  }
  return all;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 10;
  int clients = 64;
  bool logins_too = true;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--clients") == 0) clients = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--logins") == 0) logins_too = std::atoi(argv[i + 1]) != 0;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "nuve-bench.XXXXXX").string();
  const std::filesystem::path data = mkdtemp(pattern.data());

  // The accounts go straight into the database, with one hash made here.
  nuve::server::PasswordHasher hasher(nuve::server::HashStrength::kInteractive, 1);
  const auto t0 = Clock::now();
  const std::string hash = hasher.Hash(kPassword).value();
  const double hash_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  // So are the sessions of the keep-alive phase: 64 logins would spend
  // the hash 64 times before anything is measured.
  std::vector<std::string> tokens;
  {
    auto store = nuve::server::SqliteStore::Open(data / "accounts.db");
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    store->Write([&](nuve::server::Tx& tx) {
      for (int i = 0; i < clients; ++i) {
        const auto id = tx.InsertUser({Account(i), "bench@example.com", hash, "", "", "", 0});
        tokens.push_back(nuve::server::NewSecretToken());
        tx.InsertSession(nuve::server::TokenDigest(tokens.back()), *id, now);
      }
    });
  }
  int status = 0;
  {
    Service service;
    if (!StartService(service, data)) return 1;

    const Phase keep = RunPhase(clients, service.port, seconds, [&](httplib::Client& client, int c) {
      const auto reply = client.Post("/api/comm/keep.e", "token=" + tokens[static_cast<std::size_t>(c)],
                                     "application/x-www-form-urlencoded");
      return reply && reply->body.find("\"result\":true") != std::string::npos;
    });
    Phase logins;
    if (logins_too) {
      logins = RunPhase(clients, service.port, seconds, [&](httplib::Client& client, int c) {
        const auto reply = client.Post("/api/login.e", LoginBody(c), "application/x-www-form-urlencoded");
        return reply && reply->body.find("\"result\":true") != std::string::npos;
      });
    }

    std::printf("clients: %d\n", clients);
    std::printf("cores: %u\n", std::thread::hardware_concurrency());
    std::printf("keepalive_rps: %.0f\n", static_cast<double>(keep.ok) / keep.seconds);
    std::printf("keepalive_p50_ms: %.2f\n", Percentile(keep.latencies_ms, 0.50));
    std::printf("keepalive_p99_ms: %.2f\n", Percentile(keep.latencies_ms, 0.99));
    std::printf("keepalive_failed: %ld\n", keep.failed);
    std::printf("login_rps: %.1f\n", logins.seconds > 0 ? static_cast<double>(logins.ok) / logins.seconds : 0.0);
    std::printf("login_p99_ms: %.0f\n", Percentile(logins.latencies_ms, 0.99));
    std::printf("login_failed: %ld\n", logins.failed);
    std::printf("hash_ms: %.1f (one Argon2id interactive hash; cores / hash time bounds login_rps at %.1f)\n",
                hash_ms, std::thread::hardware_concurrency() * 1000.0 / hash_ms);
    status = keep.failed == 0 && logins.failed == 0 ? 0 : 1;
  }
  std::filesystem::remove_all(data);
  return status;
}
