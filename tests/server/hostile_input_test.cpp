// Hostile and broken requests against the running service: cut and
// oversized bodies, bytes that are not UTF-8, SQL in every field, and ten
// thousand keep-alives with made-up tokens at once. Each gets the envelope;
// the service keeps serving everyone else.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <thread>

#include "browser_client.h"
#include "loopback_clients.h"
#include "server_process.h"

namespace nuve::test {
namespace {

nlohmann::json Envelope(const httplib::Result& result) {
  if (!result) return nullptr;
  return nlohmann::json::parse(result->body, nullptr, false);
}

// An oversized body is refused with `message`, or, when the server has
// answered and closed while the client was still writing, the client's
// write fails: either way the server stopped reading at its cap.
void ExpectOversizedRefused(const httplib::Result& result, const char* message) {
  if (!result) {
    EXPECT_EQ(result.error(), httplib::Error::Write) << httplib::to_string(result.error());
    return;
  }
  EXPECT_EQ(Envelope(result)["message"], message);
}

class HostileInput : public testing::Test {
 protected:
  HostileInput()
      : data_(MakeFolder()),
        server_({"--data", data_.string(), "--max-connections", "12000"}),
        web_("127.0.0.1", server_.port()) {}
  ~HostileInput() override { std::filesystem::remove_all(data_); }
  static std::filesystem::path MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nuve-hostile.XXXXXX").string();
    return mkdtemp(pattern.data());
  }
  // A registered, logged-in browser.
  std::unique_ptr<BrowserClient> Member(const std::string& account, const std::string& email) {
    auto b = std::make_unique<BrowserClient>(server_.host());
    b->client.SendRegisterCodeMail(email);
    core::RegisterFields fields;
    fields.email = email;
    fields.name = "'); DROP TABLE users";
    fields.code = CodeInMail(LastMailTo(server_.Log(), email));
    EXPECT_TRUE(b->client.Register(account, "x' OR '1'='1", fields).IsSuccess());
    EXPECT_TRUE(b->client.Login(account, "x' OR '1'='1").IsSuccess());
    return b;
  }

  std::filesystem::path data_;
  ServerProcess server_;
  httplib::Client web_;
};

TEST_F(HostileInput, CutAndOversizedBodiesAreRefusedInTheEnvelope) {
  const std::string type = "multipart/form-data; boundary=b";
  const auto cut = web_.Post("/api/register.e", "--b\r\nContent-Disposition: form-data; name=\"account\"\r\n\r\n123", type);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->status, 400);
  EXPECT_EQ(Envelope(cut)["message"], "请求格式错误");

  const std::string big(3 * 1024 * 1024, 'a');
  const auto huge = web_.Post("/api/upload/img.e", "--b\r\nContent-Disposition: form-data; name=\"img\"\r\n\r\n" + big, type);
  if (huge) {
    EXPECT_EQ(huge->status, 413);
  }
  ExpectOversizedRefused(huge, "请求内容过大");

  const auto form = web_.Post("/api/dofeed.e", "content=" + std::string(100 * 1024, 'x'),
                              "application/x-www-form-urlencoded");
  ExpectOversizedRefused(form, "请求内容过大");

  // The same without a length: the body streams in chunks until the cap.
  std::size_t sent = 0;
  const auto chunked = web_.Post(
      "/api/login.e",
      [&](std::size_t, httplib::DataSink& sink) {
        const std::string piece(16 * 1024, 'y');
        if (sent > 200 * 1024) {
          sink.done();
        } else {
          sink.write(piece.data(), piece.size());
          sent += piece.size();
        }
        return true;
      },
      "application/x-www-form-urlencoded");
  ExpectOversizedRefused(chunked, "请求内容过大");

  // A client that promises more than it sends and goes away.
  {
    httplib::Client liar("127.0.0.1", server_.port());
    liar.set_read_timeout(1);
    httplib::Headers headers = {{"Content-Length", "100000"}};
    (void)liar.Post("/api/login.e", headers, "account=1", "application/x-www-form-urlencoded");
  }
  EXPECT_TRUE(BrowserClient(server_.host()).client.ListAnnouncements().IsSuccess()) << "still serving";
}

TEST_F(HostileInput, BytesThatAreNotUtf8AndSqlInFieldsChangeNothing) {
  const auto bad = web_.Post("/api/getUserData.e", "token=abc&key=%C0%AF", "application/x-www-form-urlencoded");
  EXPECT_EQ(Envelope(bad)["message"], "请求中含有无效的字符");
  const std::string d = "--b\r\nContent-Disposition: form-data; name=";
  const auto raw = web_.Post("/api/register.e",
                             d + "\"account\"\r\n\r\n12345678\r\n" + d + "\"name\"\r\n\r\n\xFF\xFE\r\n--b--\r\n",
                             "multipart/form-data; boundary=b");
  EXPECT_EQ(Envelope(raw)["message"], "请求中含有无效的字符");

  auto member = Member("12345678", "sql@example.com");
  BrowserClient intruder(server_.host());
  for (const std::string account : {"' OR '1'='1' --", "12345678' --", "12345678; DROP TABLE users", "%"}) {
    EXPECT_EQ(intruder.client.Login(account, "x' OR '1'='1").Message(), "账号或密码错误") << account;
  }
  const std::string key = "'; DELETE FROM user_data; --";
  EXPECT_TRUE(member->client.SetUserData(key, "$1 \\x00 '\"").IsSuccess());
  EXPECT_EQ(member->client.GetUserData(key).ResponseBody(), "$1 \\x00 '\"");
  EXPECT_EQ(member->client.GetInfo().ToUserInfo().Account(), "12345678");
  EXPECT_EQ(member->client.GetUserInfoById(0).Message(), "用户不存在");
  EXPECT_EQ(member->client.UploadImage("<?php system($_GET['c']); ?>").Message(),
            "图片必须是不超过2MB的PNG、JPEG或GIF文件");

  const auto unknown = web_.Post("/api/../../etc/passwd", "x=1", "application/x-www-form-urlencoded");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
  EXPECT_EQ(web_.Get("/img/..%2F..%2Faccounts.db")->status, 404);
}

// Opens `count` connections at once, from many addresses, sends each a
// keep-alive with a made-up token, and returns how many got a refusal in the
// envelope.
int FloodWithKeepAlives(int port, int count) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  const std::string body = "token=" + std::string(64, 'e');
  const std::string request = "POST /api/comm/keep.e HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body;
  std::vector<pollfd> fds;
  std::vector<std::string> replies(static_cast<std::size_t>(count));
  std::vector<bool> sent(static_cast<std::size_t>(count), false);
  for (int i = 0; i < count; ++i) {
    // 25 from each address: within the service's limit per client.
    const int fd = ConnectFrom(LoopbackAddress(i / 25), port, true);
    if (fd < 0) break;
    fds.push_back({fd, POLLOUT, 0});
  }
  int refused = 0;
  std::size_t open = fds.size();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (open > 0 && std::chrono::steady_clock::now() < deadline) {
    if (poll(fds.data(), fds.size(), 1000) <= 0) continue;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      pollfd& p = fds[i];
      if (p.fd < 0 || p.revents == 0) continue;
      if (!sent[i] && (p.revents & POLLOUT)) {
        sent[i] = send(p.fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
        p.events = POLLIN;
        continue;
      }
      char buf[4096];
      const ssize_t n = recv(p.fd, buf, sizeof buf, 0);
      if (n > 0) replies[i].append(buf, static_cast<std::size_t>(n));
      const bool complete = replies[i].find("\"result\":false") != std::string::npos && replies[i].ends_with("}");
      if (n <= 0 || complete) {
        if (complete && replies[i].find("\"code\":2") != std::string::npos) ++refused;
        close(p.fd);
        p.fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) close(p.fd);
  }
  return refused;
}

// Under the sanitizers every request costs several times as much: the
// service's deadline for a whole request would cut the last of ten
// thousand waiting connections, as it should, before their turn came.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kFloodConnections = 4000;
#else
constexpr int kFloodConnections = 10000;
#endif

TEST_F(HostileInput, TenThousandKeepAlivesWithMadeUpTokensAllGetTheirAnswer) {
  auto member = Member("23456789", "flood@example.com");
  int refused = 0;
  std::thread flood([&] { refused = FloodWithKeepAlives(server_.port(), kFloodConnections); });
  int renewed = 0;
  for (int i = 0; i < 5; ++i) {
    renewed += member->client.KeepAlive() ? 1 : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  flood.join();
  EXPECT_EQ(refused, kFloodConnections);
  EXPECT_EQ(renewed, 5) << "a real session is renewed in the middle of the flood";
  EXPECT_TRUE(member->client.KeepAlive());
}

}  // namespace
}  // namespace nuve::test
