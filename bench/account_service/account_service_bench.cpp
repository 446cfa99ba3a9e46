// bench_account_service [--seconds N]
//
// Starts nuve-account-server on 127.0.0.1 with a fresh SQLite database and
// the default (interactive) password hashes, and drives it with wrk, which
// runs on the same machine and shares its cores with the service:
//   1. keep-alives with valid tokens from 64 kept-alive connections for N
//      seconds: requests per second and the 99th percentile of latency;
//   2. the same beside 1,000 slow connections that send one header line a
//      second (and come back when the service cuts them at its deadline);
//   3. the same beside 256 connections that each send a login a second for
//      accounts that do not exist (the per-client login limit raised, so
//      that every one is hashed or refused busy);
//   4. logins with the right password from 64 connections: logins per
//      second, beside the time of one hash, which is what bounds them.
// The load average of the machine is printed with the figures: other work
// on the machine lowers them.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
#include "support/account_service_child.h"
#include "support/bench_figures.h"

namespace {

using Clock = std::chrono::steady_clock;
using nuve::bench::AccountServiceChild;
using nuve::bench::LoadAverage;
using nuve::server::kDefaultAppKey;

constexpr char kPassword[] = "bench-password";
constexpr int kConnections = 64;
constexpr int kLoginConnections = 16;


std::string Account(int i) { return std::to_string(60000000 + i); }

// What wrk reported.
struct WrkResult {
  double rps = 0;
  double p99_ms = 0;
  long requests = 0;
  long ok = 0;  // replies with "result":true, when the script counts them
  bool ran = false;
};

double Milliseconds(const std::string& value, const std::string& unit) {
  const double v = std::stod(value);
  if (unit == "us") return v / 1000;
  if (unit == "s") return v * 1000;
  if (unit == "m") return v * 60000;
  return v;
}

// Runs wrk with `script` on `connections` connections for `seconds`.
WrkResult RunWrk(int port, const std::filesystem::path& script, int connections, double seconds) {
  const std::string command = "wrk -t2 -c" + std::to_string(connections) + " -d" +
                              std::to_string(static_cast<int>(seconds)) + "s --timeout 30s --latency -s '" +
                              script.string() + "' http://127.0.0.1:" + std::to_string(port) + "/ 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  while (pipe != nullptr && std::fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
  WrkResult r;
  r.ran = pipe != nullptr && pclose(pipe) == 0;
  std::smatch m;
  if (std::regex_search(out, m, std::regex(R"(Requests/sec:\s+([0-9.]+))"))) r.rps = std::stod(m[1]);
  if (std::regex_search(out, m, std::regex(R"(\s99%\s+([0-9.]+)(us|ms|s|m)\b)"))) r.p99_ms = Milliseconds(m[1], m[2]);
  if (std::regex_search(out, m, std::regex(R"((\d+) requests in)"))) r.requests = std::stol(m[1]);
  if (std::regex_search(out, m, std::regex(R"(succeeded: (\d+))"))) r.ok = std::stol(m[1]);
  if (!r.ran || r.requests == 0) std::cerr << command << "\n" << out;
  return r;
}

// A wrk script that posts the bodies in turn and counts the replies that
// succeeded; with `pause_ms` each connection waits that long before its
// next request (a flood at a set rate, not as fast as answers come).
void WriteScript(const std::filesystem::path& file, const std::string& path, const std::vector<std::string>& bodies,
                 int pause_ms = 0) {
  std::ofstream out(file);
  out << "local bodies = {\n";
  for (const std::string& b : bodies) out << "  \"" << b << "\",\n";
  out << "}\n"
         "local threads = {}\n"
         "function setup(thread) table.insert(threads, thread) end\n"
         "function init(args) n = math.random(#bodies); succeeded = 0 end\n"
         "function request()\n"
         "  n = n % #bodies + 1\n"
         "  return wrk.format(\"POST\", \"" << path << "\", "
         "{[\"Content-Type\"] = \"application/x-www-form-urlencoded\"}, bodies[n])\n"
         "end\n"
         "function delay() return " << pause_ms << " end\n"
         "function response(status, headers, body)\n"
         "  if string.find(body, '\"result\":true', 1, true) then succeeded = succeeded + 1 end\n"
         "end\n"
         "function done(summary, latency, requests)\n"
         "  local total = 0\n"
         "  for _, t in ipairs(threads) do total = total + t:get(\"succeeded\") end\n"
         "  io.write(\"succeeded: \" .. total .. \"\\n\")\n"
         "end\n";
}

// Connections that send one header line a second and never finish; cut at
// the service's deadline, each comes back at once.
class Slowloris {
 public:
  Slowloris(int port, int count) : port_(port), fds_(static_cast<std::size_t>(count), -1) {
    for (int& fd : fds_) fd = Open();
    thread_ = std::thread([this] { Loop(); });
  }
  ~Slowloris() {
    stop_ = true;
    thread_.join();
    for (const int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }
  long cut() const { return cut_; }

 private:
  int Open() const {
    // Not inherited by wrk: its event loop takes only as many descriptors as
    // it needs, numbered from the lowest free one.
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(port_));
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
      close(fd);
      return -1;
    }
    const char opening[] = "POST /api/comm/keep.e HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    send(fd, opening, sizeof opening - 1, MSG_NOSIGNAL);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
  }
  void Loop() {
    while (!stop_) {
      for (int& fd : fds_) {
        char buf[512];
        if (fd < 0 || send(fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL) <= 0 || recv(fd, buf, sizeof buf, 0) == 0) {
          if (fd >= 0) {
            close(fd);
            ++cut_;
          }
          fd = Open();
        }
      }
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  }

  const int port_;
  std::vector<int> fds_;
  std::atomic<long> cut_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  double seconds = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::max(1.0, std::atof(argv[i + 1]));
  }
  if (std::system("command -v wrk >/dev/null 2>&1") != 0) {
    std::printf("skipped: wrk is not installed (apt-get install wrk, or bash scripts/setup.sh)\n");
    return 77;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "nuve-bench.XXXXXX").string();
  const std::filesystem::path data = mkdtemp(pattern.data());
  const double load_before = LoadAverage();

  // The accounts go straight into the database, with one hash made here.
  nuve::server::PasswordHasher hasher(nuve::server::HashStrength::kInteractive, 1);
  const auto t0 = Clock::now();
  const std::string hash = hasher.Hash(kPassword).value();
  const double hash_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  // So are the sessions of the keep-alive phases: 64 logins would spend
  // the hash 64 times before anything is measured.
  std::vector<std::string> keep_bodies;
  std::vector<std::string> login_bodies;
  std::vector<std::string> flood_bodies;
  {
    auto store = nuve::server::SqliteStore::Open(data / "accounts.db");
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    store->Write([&](nuve::server::Tx& tx) {
      for (int i = 0; i < kConnections; ++i) {
        const auto id = tx.InsertUser({Account(i), "bench@example.com", hash, "", "", "", 0});
        const std::string token = nuve::server::NewSecretToken();
        tx.InsertSession(nuve::server::TokenDigest(token), *id, now);
        keep_bodies.push_back("token=" + token);
        login_bodies.push_back("account=" + Account(i) + "&password=" + kPassword + "&appKey=" + kDefaultAppKey +
                               "&loginKey=");
      }
    });
  }
  for (int i = 0; i < 512; ++i) {
    flood_bodies.push_back("account=9" + std::to_string(1000000 + i) + "&password=guess&appKey=" + kDefaultAppKey +
                           "&loginKey=");
  }
  WriteScript(data / "keepalive.lua", "/api/comm/keep.e", keep_bodies);
  WriteScript(data / "login.lua", "/api/login.e", login_bodies);
  // 256 connections, a login a second each: 256 logins a second, five times
  // the flood that once held keep-alives up for seconds, and far more than
  // the hashes keep up with.
  WriteScript(data / "flood.lua", "/api/login.e", flood_bodies, 1000);

  int status = 0;
  {
    // wrk and the slow clients come from 127.0.0.1: no limit per address,
    // and none on the logins of one address, so the flood is hashed.
    AccountServiceChild service;
    if (!service.Start(NUVE_ACCOUNT_SERVER, data,
                       {"--connections-per-client", "0", "--max-connections", "8000",
                        "--login-failures-per-client", "1000000000"})) {
      return 1;
    }

    const WrkResult keep = RunWrk(service.port(), data / "keepalive.lua", kConnections, seconds);
    WrkResult slow;
    long cut = 0;
    {
      Slowloris crowd(service.port(), 1000);
      std::this_thread::sleep_for(std::chrono::seconds(2));
      slow = RunWrk(service.port(), data / "keepalive.lua", kConnections, seconds);
      cut = crowd.cut();
    }
    WrkResult flooded;
    WrkResult flood;
    {
      std::thread flooder([&] { flood = RunWrk(service.port(), data / "flood.lua", 256, seconds + 2); });
      std::this_thread::sleep_for(std::chrono::seconds(1));
      flooded = RunWrk(service.port(), data / "keepalive.lua", kConnections, seconds);
      flooder.join();
    }
    // The flood's queue drains before the logins are counted.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    // As many connections as the hashing queue holds: a login waits for its
    // hash instead of being refused busy and sent again at once.
    const WrkResult logins = RunWrk(service.port(), data / "login.lua", kLoginConnections, seconds);
    const double load_after = LoadAverage();

    std::printf("wrk: 2 threads, %d connections, %.0f s per phase; the service on SQLite, interactive hashes\n",
                kConnections, seconds);
    std::printf("slow connections cut at their deadline and reopened: %ld\n", cut);
    std::printf("login flood: %ld requests, %ld hashed or refused busy (none succeed)\n", flood.requests,
                flood.requests - flood.ok);
    std::printf("keep-alives that succeeded: %ld of %ld (alone), %ld of %ld (slow), %ld of %ld (flood)\n", keep.ok,
                keep.requests, slow.ok, slow.requests, flooded.ok, flooded.requests);
    std::printf("load average (1 min): %.2f before, %.2f after, on %u cores\n", load_before, load_after,
                std::thread::hardware_concurrency());
    std::printf("keepalive_rps: %.0f\n", keep.rps);
    std::printf("keepalive_p99_ms: %.2f\n", keep.p99_ms);
    std::printf("keepalive_p99_ms_under_slowloris: %.2f\n", slow.p99_ms);
    std::printf("keepalive_p99_ms_under_login_flood: %.2f\n", flooded.p99_ms);
    std::printf("login_rps: %.1f\n", logins.requests > 0 ? static_cast<double>(logins.ok) / seconds : 0.0);
    std::printf("hash_ms: %.1f\n", hash_ms);
    std::printf("load_average_1m: %.2f\n", load_before);
    const bool all_ok = keep.ran && slow.ran && flooded.ran && logins.ran && keep.ok == keep.requests &&
                        slow.ok == slow.requests && flooded.ok == flooded.requests;
    status = all_ok ? 0 : 1;
  }
  std::filesystem::remove_all(data);
  return status;
}
