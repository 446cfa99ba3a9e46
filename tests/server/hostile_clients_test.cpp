// Hostile clients against the running service, all on 127.0.0.1 (from many
// loopback addresses): a thousand slow connections of each kind, a flood of
// logins, headers without end, and more connections than the service takes.
// A normal client's keep-alives stay quick throughout; the service's memory
// stays flat.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "browser_client.h"
#include "loopback_clients.h"
#include "server_process.h"
#include "server/api/image_check.h"
#include "server/api/service_config.h"

namespace nuve::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::filesystem::path MakeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "nuve-hostile.XXXXXX").string();
  return mkdtemp(pattern.data());
}

// Clients that hold their connections as long as the service lets them:
// one header line a second (slowloris), one body byte a second, or an
// avatar read through a small window, a little at a time.
class SlowCrowd {
 public:
  enum class Kind { kHeaders, kBody, kRead };

  SlowCrowd(Kind kind, int port, int count, int first_address, const std::string& image_path = "")
      : kind_(kind) {
    std::string opening;
    switch (kind) {
      case Kind::kHeaders: opening = "POST /api/comm/keep.e HTTP/1.1\r\nHost: 127.0.0.1\r\n"; break;
      case Kind::kBody:
        opening = "POST /api/comm/keep.e HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                  "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 60000\r\n\r\ntoken=";
        break;
      case Kind::kRead: opening = "GET " + image_path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"; break;
    }
    for (int i = 0; i < count; ++i) {
      // 25 from each address: within the service's limit per client.
      const int fd = ConnectFrom(LoopbackAddress(first_address + i / 25), port, false, kind == Kind::kRead ? 2048 : 0);
      if (fd < 0) continue;
      send(fd, opening.data(), opening.size(), MSG_NOSIGNAL);
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      fds_.push_back(fd);
    }
    thread_ = std::thread([this] { Loop(); });
  }
  ~SlowCrowd() {
    stop_ = true;
    thread_.join();
    for (const int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }
  int Connected() const { return static_cast<int>(fds_.size()); }
  int Closed() const { return closed_; }
  // When the service closed the first of them; max() while none.
  Clock::time_point FirstClosed() const { return first_closed_; }

 private:
  void Loop() {
    int tick = 0;
    while (!stop_) {
      std::this_thread::sleep_for(milliseconds(100));
      const bool trickle = ++tick % 10 == 0;
      for (int& fd : fds_) {
        if (fd < 0) continue;
        pollfd p{fd, POLLRDHUP, 0};
        if (poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
          close(fd);
          fd = -1;
          if (closed_++ == 0) first_closed_ = Clock::now();
          continue;
        }
        if (!trickle) continue;
        if (kind_ == Kind::kHeaders) send(fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
        if (kind_ == Kind::kBody) send(fd, "a", 1, MSG_NOSIGNAL);
        if (kind_ == Kind::kRead) {
          char buf[64];
          (void)recv(fd, buf, sizeof buf, 0);
        }
      }
    }
  }

  const Kind kind_;
  std::vector<int> fds_;
  std::atomic<int> closed_{0};
  std::atomic<Clock::time_point> first_closed_{Clock::time_point::max()};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A normal browser: keep-alives one after another, each on a connection of
// its own as the browser's transport makes them; their latencies in ms.
std::vector<double> KeepAliveLatencies(BrowserClient& browser, int count, int* failed) {
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    const auto t0 = Clock::now();
    if (browser.client.KeepAlive()) {
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    } else {
      ++*failed;
    }
    std::this_thread::sleep_for(milliseconds(15));
  }
  return ms;
}

// Keep-alives stay under 100 ms at the 99th percentile behind hostile
// clients. Under the sanitizers every request costs several times as much,
// and there only starvation (a second's wait) is judged.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kKeepAliveP99Ms = 1000.0;
#else
constexpr double kKeepAliveP99Ms = 100.0;
#endif

double P99(std::vector<double> values) {
  if (values.empty()) return 1e9;
  std::sort(values.begin(), values.end());
  std::fprintf(stderr, "keep-alive latencies: p50 %.1f, p90 %.1f, p99 %.1f, max %.1f ms over %zu\n",
               values[values.size() / 2], values[values.size() * 9 / 10], values[values.size() * 99 / 100],
               values.back(), values.size());
  return values[std::min(values.size() - 1, values.size() * 99 / 100)];
}

class HostileClients : public testing::Test {
 protected:
  void Start(std::vector<std::string> extra = {}) {
    RaiseDescriptorLimit();
    extra.insert(extra.begin(), {"--data", data_.string(), "--max-connections", "8000"});
    server_ = std::make_unique<ServerProcess>(extra);
  }
  ~HostileClients() override {
    server_.reset();
    std::filesystem::remove_all(data_);
  }
  // A registered, logged-in browser.
  std::unique_ptr<BrowserClient> Member(const std::string& account, const std::string& email) {
    auto b = std::make_unique<BrowserClient>(server_->host());
    b->client.SendRegisterCodeMail(email);
    core::RegisterFields fields;
    fields.email = email;
    fields.code = CodeInMail(LastMailTo(server_->Log(), email));
    EXPECT_TRUE(b->client.Register(account, "secret-1", fields).IsSuccess());
    EXPECT_TRUE(b->client.Login(account, "secret-1").IsSuccess());
    return b;
  }

  std::filesystem::path data_ = MakeFolder();
  std::unique_ptr<ServerProcess> server_;
};

TEST_F(HostileClients, AThousandSlowConnectionsOfEachKindLeaveKeepAlivesQuickAndAreCutAtTheirDeadline) {
  Start();
  auto member = Member("12345678", "slow@example.com");
  const std::string picture = "GIF89a" + std::string(1024 * 1024, '\x33');
  const auto uploaded = member->client.UploadImage(picture);
  ASSERT_TRUE(uploaded.IsSuccess()) << uploaded.Text();
  const std::string image = "/img/" + server::Md5Hex(picture);

  const auto start = Clock::now();
  SlowCrowd headers(SlowCrowd::Kind::kHeaders, server_->port(), 1000, 0);
  SlowCrowd body(SlowCrowd::Kind::kBody, server_->port(), 1000, 100);
  SlowCrowd readers(SlowCrowd::Kind::kRead, server_->port(), 1000, 200, image);
  ASSERT_EQ(headers.Connected() + body.Connected() + readers.Connected(), 3000);
  int failed = 0;
  const auto latencies = KeepAliveLatencies(*member, 200, &failed);
  EXPECT_EQ(failed, 0);
  EXPECT_LT(P99(latencies), kKeepAliveP99Ms) << "keep-alives, milliseconds at the 99th percentile, under 3,000 slow connections";
  EXPECT_LT(server_->ResidentKib(), 200 * 1024) << "the readers of one avatar share one copy of it";

  // Headers are due within 10 s of the request's start, however slowly
  // they come; the bodies (30 s) and the answers (30 s) still run.
  ASSERT_TRUE(WaitUntil([&] { return headers.Closed() == headers.Connected(); }, milliseconds(25000)));
  EXPECT_GE(headers.FirstClosed() - start, milliseconds(9500)) << "nothing is cut before its deadline";
  EXPECT_LT(body.Closed(), body.Connected() / 10);
  EXPECT_LT(readers.Closed(), readers.Connected() / 10);
  EXPECT_TRUE(member->client.KeepAlive());
}

TEST_F(HostileClients, AFloodOfLoginsIsRefusedPastTheHashingQueueAndKeepAlivesStayQuick) {
  Start({"--password-hash", "interactive"});
  auto member = Member("23456789", "flood@example.com");
  std::atomic<bool> stop{false};
  std::atomic<int> busy{0};
  std::atomic<int> wrong{0};
  std::atomic<int> other{0};
  // 256 connections from as many addresses, each sending a login a second
  // for accounts that do not exist: 256 a second, five times the flood that
  // held keep-alives up for seconds, far more than the hashes keep up with.
  std::vector<std::thread> flood;
  for (int t = 0; t < 8; ++t) {
    flood.emplace_back([&, t] {
      std::vector<int> fds;
      for (int i = 0; i < 32; ++i) {
        fds.push_back(ConnectFrom(LoopbackAddress(1000 + t * 32 + i), server_->port(), false));
      }
      // Accounts of its own: eight threads guessing one account together
      // would meet the account's own limit, which is not what is tested.
      int n = t * 100000;
      while (!stop) {
        const auto round = Clock::now();
        for (int& fd : fds) {
          const std::string body = "account=9" + std::to_string(1000000 + n++) + "&password=guess-1&appKey=" +
                                   server::kDefaultAppKey + "&loginKey=";
          // The threads send one login per connection and read the
          // answers afterwards: 32 at once per thread.
          const std::string request = FormRequest("/api/login.e", body);
          if (fd >= 0) send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        }
        for (int& fd : fds) {
          const std::string reply = fd >= 0 ? Exchange(fd, "", 30000) : "";
          const auto json = nlohmann::json::parse(BodyOf(reply), nullptr, false);
          if (json.is_object() && json["code"] == 5) {
            ++busy;
          } else if (json.is_object() && json["code"] == 1) {
            ++wrong;
          } else {
            ++other;
          }
          if (reply.empty() && fd >= 0) {
            close(fd);
            fd = -1;
          }
        }
        std::this_thread::sleep_until(round + milliseconds(1000));
      }
      for (const int fd : fds) {
        if (fd >= 0) close(fd);
      }
    });
  }
  std::this_thread::sleep_for(milliseconds(500));
  int failed = 0;
  const auto latencies = KeepAliveLatencies(*member, 250, &failed);
  stop = true;
  for (auto& t : flood) t.join();
  EXPECT_EQ(failed, 0);
  EXPECT_LT(P99(latencies), kKeepAliveP99Ms) << "keep-alives, milliseconds at the 99th percentile, during the flood";
  EXPECT_GT(wrong, 0) << "logins are checked";
  EXPECT_GT(busy, 0) << "past the hashing queue a login is answered busy at once";
  EXPECT_EQ(other, 0) << "every login gets the envelope";
  // The member's own login still goes through once the flood is over.
  EXPECT_TRUE(member->client.Login("23456789", "secret-1").IsSuccess());
}

TEST_F(HostileClients, HeadersWithoutEndAreRefusedAndTheMemoryStaysFlat) {
  Start();
  const auto Send = [&](const std::string& request) {
    const int fd = ConnectFrom("127.0.0.1", server_->port(), false);
    const std::string reply = Exchange(fd, request);
    close(fd);
    return reply;
  };
  std::string many;
  for (int i = 0; i < 101; ++i) many += "X-H" + std::to_string(i) + ": 1\r\n";
  const std::string too_many = Send(FormRequest("/api/comm/keep.e", "token=x", many));
  EXPECT_EQ(StatusOf(too_many), 431);
  EXPECT_EQ(nlohmann::json::parse(BodyOf(too_many), nullptr, false)["message"], "请求头过大");
  const std::string long_header = "X-Long: " + std::string(17 * 1024, 'a') + "\r\n";
  const std::string long_one = Send(FormRequest("/api/comm/keep.e", "token=x", long_header));
  EXPECT_EQ(StatusOf(long_one), 431);
  EXPECT_EQ(nlohmann::json::parse(BodyOf(long_one), nullptr, false)["code"], 1);

  // A megabyte of headers, twenty times over, four at once: read no further
  // than the connection's memory.
  std::string huge;
  for (int i = 0; i < 1024; ++i) huge += "X-" + std::to_string(i) + ": " + std::string(1000, 'h') + "\r\n";
  const long before = server_->ResidentKib();
  std::atomic<int> refused{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t) {
    senders.emplace_back([&] {
      for (int i = 0; i < 5; ++i) {
        const std::string reply = Send(FormRequest("/api/comm/keep.e", "token=x", huge));
        // The answer is 431, or the connection closed on a client still
        // writing.
        if (reply.empty() || StatusOf(reply) == 431) ++refused;
      }
    });
  }
  for (auto& t : senders) t.join();
  EXPECT_EQ(refused, 20);
  EXPECT_LT(server_->ResidentKib() - before, 8 * 1024) << "KiB more after 20 MiB of headers";
  EXPECT_EQ(StatusOf(Send(FormRequest("/api/comm/keep.e", "token=x"))), 200) << "still serving";
}

TEST_F(HostileClients, ConnectionsPastTheLimitsAreClosedAtOnce) {
  Start({"--max-connections", "64", "--connections-per-client", "32"});
  std::vector<int> held;
  const auto Open = [&](int address) {
    const int fd = ConnectFrom(LoopbackAddress(address), server_->port(), false);
    held.push_back(fd);
    return fd;
  };
  for (int i = 0; i < 32; ++i) Open(0);
  EXPECT_TRUE(ClosedByServer(Open(0), 5000)) << "the 33rd from one address";
  for (int i = 0; i < 32; ++i) Open(1);
  // 64 connections are open: the next one is closed at once, not queued
  // until one of them ends. The service's threads may register the last
  // ones in another order than they came, so it is one of the 65, exactly.
  Open(2);
  const auto closed_count = [&] {
    int closed = 0;
    for (std::size_t i = 0; i < held.size(); ++i) {
      if (i != 32 && ClosedByServer(held[i], 0)) ++closed;  // 32: the 33rd from one address
    }
    return closed;
  };
  EXPECT_TRUE(WaitUntil([&] { return closed_count() >= 1; }, milliseconds(5000)));
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(closed_count(), 1);
  for (const int fd : held) close(fd);
  held.clear();
  // Room again.
  ASSERT_TRUE(WaitUntil([&] {
    const int fd = ConnectFrom(LoopbackAddress(3), server_->port(), false);
    const std::string reply = Exchange(fd, FormRequest("/api/comm/keep.e", "token=x"), 2000);
    close(fd);
    return StatusOf(reply) == 200;
  }, milliseconds(5000)));
}

}  // namespace
}  // namespace nuve::test
