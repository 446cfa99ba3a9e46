// The parts of the HTTP front that decide on their own: deadlines for whole
// requests, the bounded queue, who a request comes from (and that only a
// trusted proxy may say so), and form bodies.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>

#include "browser_client.h"
#include "loopback_clients.h"
#include "server/http/client_address.h"
#include "server/http/connection_watch.h"
#include "server/http/form_body.h"
#include "server/http/work_queue.h"
#include "server_process.h"

namespace nuve::test {
namespace {

using server::ConnectionWatch;
using std::chrono::milliseconds;
using Phase = ConnectionWatch::Phase;

TEST(ConnectionWatch, EachPhaseHasItsDeadlineAndWorkHasNone) {
  ConnectionWatch::Limits limits;
  limits.fresh = limits.idle = limits.headers = limits.body = limits.reply = milliseconds(50);
  limits.body = milliseconds(400);
  ConnectionWatch watch(limits, milliseconds(0));
  struct Peer {
    int ours[2];
    ConnectionWatch::Entry* entry;
  };
  std::vector<Peer> peers;
  for (const Phase phase : {Phase::kHeaders, Phase::kBody, Phase::kWorking, Phase::kReplying, Phase::kIdle}) {
    Peer p{};
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, p.ours), 0);
    p.entry = watch.Add(p.ours[0]);
    p.entry->Enter(phase);
    peers.push_back(p);
  }
  EXPECT_EQ(watch.Count(), 5u);
  {
    // Past the limit a connection is shut as it arrives and never swept again.
    Peer extra{};
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, extra.ours), 0);
    extra.entry = watch.Add(extra.ours[0], 5);
    EXPECT_TRUE(ClosedByServer(extra.ours[1], 0));
    EXPECT_EQ(extra.entry->phase(), Phase::kClosing);
    EXPECT_FALSE(ClosedByServer(peers[0].ours[1], 0)) << "the ones within the limit stay";
    watch.Remove(extra.entry);
    close(extra.ours[0]);
    close(extra.ours[1]);
  }
  std::this_thread::sleep_for(milliseconds(120));
  EXPECT_EQ(watch.Sweep(), 3u) << "headers, reply and idle overran 50 ms";
  const auto shut = [](const Peer& p) { return ClosedByServer(p.ours[1], 0); };
  EXPECT_TRUE(shut(peers[0]));
  EXPECT_FALSE(shut(peers[1])) << "the body has 400 ms";
  EXPECT_FALSE(shut(peers[2])) << "the service's own work has no deadline";
  EXPECT_TRUE(shut(peers[3]));
  EXPECT_TRUE(shut(peers[4]));
  // Activity within a phase does not restart its clock; a new phase does.
  peers[1].entry->Enter(Phase::kWorking);
  std::this_thread::sleep_for(milliseconds(450));
  EXPECT_EQ(watch.Sweep(), 0u);
  peers[1].entry->Enter(Phase::kReplying);
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(watch.Sweep(), 1u);
  EXPECT_EQ(watch.Sweep(), 0u) << "a socket is shut once";
  for (Peer& p : peers) {
    watch.Remove(p.entry);
    close(p.ours[0]);
    close(p.ours[1]);
  }
  EXPECT_EQ(watch.Count(), 0u);
}

TEST(WorkQueue, RefusesPastItsBoundAndRunsWhatItTookBeforeStopping) {
  server::WorkQueue queue("test", 1, 2);
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  std::atomic<int> ran{0};
  std::atomic<bool> started{false};
  ASSERT_TRUE(queue.Submit([&] {
    started = true;
    gate.wait();
    ++ran;
  }));
  ASSERT_TRUE(WaitUntil([&] { return started.load(); }, milliseconds(5000)));
  EXPECT_TRUE(queue.Submit([&] { ++ran; }));
  EXPECT_TRUE(queue.Submit([&] { ++ran; }));
  EXPECT_FALSE(queue.Submit([&] { ++ran; })) << "one running, two waiting: the bound";
  release.set_value();
  queue.Stop();
  EXPECT_EQ(ran, 3);
  EXPECT_FALSE(queue.Submit([] {})) << "stopped";
}

TEST(ClientAddresses, OnlyATrustedProxyNamesTheClient) {
  const server::ClientAddresses none;
  EXPECT_EQ(none.ClientOf("192.0.2.1", "203.0.113.9"), "192.0.2.1") << "anyone may send the header";
  EXPECT_EQ(none.ClientOf("::ffff:192.0.2.1", ""), "192.0.2.1");

  const server::ClientAddresses proxies({"10.0.0.1", "10.0.0.2", "not an address"});
  EXPECT_EQ(proxies.ClientOf("10.0.0.1", "203.0.113.9"), "203.0.113.9");
  EXPECT_EQ(proxies.ClientOf("10.0.0.1", "198.51.100.7, 203.0.113.9"), "203.0.113.9")
      << "the proxy appends the client it saw; what the client wrote before it counts for nothing";
  EXPECT_EQ(proxies.ClientOf("10.0.0.1", "203.0.113.9,10.0.0.2"), "203.0.113.9") << "through two proxies";
  EXPECT_EQ(proxies.ClientOf("10.0.0.1", ""), "10.0.0.1");
  EXPECT_EQ(proxies.ClientOf("10.0.0.1", "203.0.113.9, garbage"), "10.0.0.1") << "a word that is no address";
  EXPECT_EQ(proxies.ClientOf("10.0.0.1", "[2001:DB8::1]"), "2001:db8::1");
  EXPECT_EQ(proxies.ClientOf("192.0.2.1", "203.0.113.9"), "192.0.2.1") << "not from a proxy";
}

TEST(FormBody, DecodesPairsAndKeepsTheFirstOfARepeatedName) {
  std::map<std::string, std::string, std::less<>> fields;
  server::ParseFormBody("a=1&b=x+y%26z&a=2&c&=skip&d=%E5%AF%86&e=%zz&f=a%00b", fields);
  EXPECT_EQ(fields["a"], "1");
  EXPECT_EQ(fields["b"], "x y&z");
  EXPECT_EQ(fields["c"], "");
  EXPECT_EQ(fields["d"], "密");
  EXPECT_EQ(fields["e"], "%zz") << "a broken escape stays as it is";
  EXPECT_EQ(fields["f"], std::string("a\0b", 3)) << "a NUL is kept, for the text check to refuse";
  EXPECT_EQ(fields.count(""), 0u);
}

// The login address the service records: the proxy's word on a connection
// from --trusted-proxy, the connection's own address otherwise.
TEST(TrustedProxy, XForwardedForCountsOnlyOnConnectionsFromTheProxy) {
  std::string pattern = (std::filesystem::temp_directory_path() / "nuve-proxy.XXXXXX").string();
  const std::filesystem::path data = mkdtemp(pattern.data());
  {
    ServerProcess server({"--data", data.string(), "--trusted-proxy", "127.0.0.1"});
    BrowserClient b(server.host());
    ASSERT_TRUE(b.client.SendRegisterCodeMail("proxy@example.com").IsSuccess());
    core::RegisterFields fields;
    fields.email = "proxy@example.com";
    fields.code = CodeInMail(LastMailTo(server.Log(), "proxy@example.com"));
    ASSERT_TRUE(b.client.Register("12345678", "secret-1", fields).IsSuccess());
    const auto LoginFrom = [&](const std::string& source) {
      const int fd = ConnectFrom(source, server.port(), false);
      const std::string body = std::string("account=12345678&password=secret-1&appKey=") + core::kApplicationKey;
      const auto reply = nlohmann::json::parse(
          BodyOf(Exchange(fd, FormRequest("/api/login.e", body, "X-Forwarded-For: 198.51.100.7, 203.0.113.9\r\n"))),
          nullptr, false);
      close(fd);
      b.session.SetToken(reply.value("responseBody", ""));
      return b.client.GetInfo().ToUserInfo().LoginAddress();
    };
    EXPECT_EQ(LoginFrom("127.0.0.1"), "203.0.113.9");
    EXPECT_EQ(LoginFrom("127.1.0.9"), "127.1.0.9") << "a client that is no proxy cannot name another";
  }
  std::filesystem::remove_all(data);
}

}  // namespace
}  // namespace nuve::test
