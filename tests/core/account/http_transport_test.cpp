#include "core/account/http_transport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/account/cookie_store.h"
#include "core/account/url_split.h"
#include "support/fake_account_service.h"

namespace nuve::core {
namespace {

using test::FakeAccountService;
using test::ReplyMode;
using Clock = std::chrono::steady_clock;

constexpr char kAccept[] =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";

TEST(UrlSplitTest, SplitsHostPortAndPath) {
  const std::string url = "http://Account.Example.COM:8080/api/login.e?x=1&y=/2";
  EXPECT_EQ(UrlHost(url), "account.example.com");
  EXPECT_EQ(UrlHost(url, true), "account.example.com:8080");
  EXPECT_EQ(UrlPort(url), 8080);
  EXPECT_EQ(UrlPath(url), "/api/login.e?x=1&y=/2");

  EXPECT_EQ(UrlHost("http://example.com"), "example.com");
  EXPECT_EQ(UrlPath("http://example.com"), "/");
  EXPECT_EQ(UrlPort("http://example.com"), 80);
  // Without the prefix the host starts at the first byte.
  EXPECT_EQ(UrlHost("Example.com/a"), "example.com");
  EXPECT_EQ(UrlPath("Example.com/a"), "/a");
  // A host whose text also stands in the scheme: the path follows the host.
  EXPECT_EQ(UrlPath("http://t/x"), "/x");
  EXPECT_EQ(UrlPath("http://h:80"), "/");
  EXPECT_EQ(UrlPath("http://p/http://p/q"), "/http://p/q");
}

TEST(UrlSplitTest, OnlyPlainHttpIsRecognised) {
  EXPECT_EQ(UrlHost("https://example.com/a"), "https");
  EXPECT_EQ(UrlHost("https://example.com/a", true), "https:");
  EXPECT_EQ(UrlPort("https://example.com/a"), 0);
  EXPECT_EQ(UrlPort("http://example.com:abc/"), 0);
  EXPECT_EQ(UrlPort("http://example.com:/"), 0);
}

TEST(ComposeHeadersTest, AddsDefaultLinesInOrder) {
  const std::string url = "http://h/api/x.e";
  EXPECT_EQ(ComposeHeaders("", url, true, 12),
            std::string("Accept: ") + kAccept + "\r\nReferer: " + url +
                "\r\nAccept-Language: zh-cn\r\n"
                "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 12\r\n");
  // A POST without a body, and a GET, get no content lines.
  EXPECT_EQ(ComposeHeaders("", url, false, 0).find("Content-"), std::string::npos);
}

TEST(ComposeHeadersTest, KeepsCallerLinesAndSearchesWithoutCase) {
  const std::string url = "http://h/p";
  const std::string h = ComposeHeaders("CONTENT-type: text/plain\r\naccept: */*\r\n", url, true, 3);
  EXPECT_EQ(h.find("application/x-www-form-urlencoded"), std::string::npos);
  EXPECT_EQ(h.find("image/gif"), std::string::npos);
  EXPECT_NE(h.find("Content-Length: 3\r\n"), std::string::npos);
  EXPECT_EQ(h.rfind("CONTENT-type: text/plain\r\naccept: */*\r\nReferer: ", 0), 0u);

  // "Referer:" without its blank is not found, so a second Referer follows.
  const std::string r = ComposeHeaders("Referer:http://x/\r\n", url, false, 0);
  EXPECT_NE(r.find("Referer:http://x/\r\n"), std::string::npos);
  EXPECT_NE(r.find("Referer: http://h/p\r\n"), std::string::npos);
}

TEST(ComposeHeadersTest, MendsCallerTextThatWouldCorruptTheRequest) {
  // A last line without its line end is closed before anything is added.
  const std::string h = ComposeHeaders("X-Mine: 1", "http://h/", false, 0);
  EXPECT_EQ(h.rfind("X-Mine: 1\r\nAccept: ", 0), 0u);
  // A caller's Content-Length would contradict the body's; only the real one stays.
  const std::string c = ComposeHeaders("Content-Length: 99\r\nX-A: 1\r\n", "http://h/", true, 5);
  EXPECT_EQ(c.find("99"), std::string::npos);
  EXPECT_NE(c.find("X-A: 1\r\n"), std::string::npos);
  EXPECT_NE(c.find("Content-Length: 5\r\n"), std::string::npos);
}

TEST(RequestRecordTest, ReadsBackInOrderAndEmptiesWhenCleared) {
  RequestRecord record;
  record.Write("a");
  record.Write("b");
  EXPECT_EQ(record.Read(), "a");
  EXPECT_EQ(record.Read(), "b");
  EXPECT_EQ(record.Read(), "");
  record.Rewind();
  EXPECT_EQ(record.Read(), "a");
  record.Clear();
  EXPECT_EQ(record.Read(), "");
}

TEST(PerformRequestTest, RefusesARecordWithoutTheRequestMarker) {
  RequestRecord record;
  record.Write("Something");
  record.Write("http://127.0.0.1:1/");
  std::atomic<bool> cancelled{false};
  EXPECT_EQ(PerformRequest(record, cancelled), 0);
  record.Rewind();
  EXPECT_EQ(record.Read(), "Something");  // untouched
}

class TransportTest : public ::testing::Test {
 protected:
  // Other tests of this binary may have left cookies for 127.0.0.1.
  TransportTest() { CookieStore::Shared().Clear(); }
  std::string Url(const std::string& path) const { return "http://" + service_.host() + path; }
  FakeAccountService service_;
};

TEST_F(TransportTest, PostPutsTheExactBytesOnTheWire) {
  RequestOptions o;
  o.method = "POST";
  o.body = "a=1&b=%E4%B8%AD";
  std::string headers;
  o.response_headers = &headers;
  const std::string body = SendRequest(Url("/api/comm/keep.e"), o);
  EXPECT_NE(body.find("\"result\":false"), std::string::npos);
  EXPECT_EQ(headers.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(headers.substr(headers.size() - 4), "\r\n\r\n");

  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& r = requests[0];
  EXPECT_EQ(r.request_line, "POST /api/comm/keep.e HTTP/1.1");
  EXPECT_EQ(r.body, o.body);
  EXPECT_EQ(r.Header("User-Agent"), kTransportUserAgent);
  EXPECT_EQ(r.Header("Host"), service_.host());
  const std::vector<std::string> ours = {"Accept", "Referer", "Accept-Language", "Content-Type",
                                         "Content-Length"};
  std::vector<std::string> names = r.HeaderNames();
  std::erase_if(names, [](const std::string& n) { return n == "Host" || n == "User-Agent"; });
  EXPECT_EQ(names, ours);
  EXPECT_EQ(r.Header("Accept"), kAccept);
  EXPECT_EQ(r.Header("Referer"), Url("/api/comm/keep.e"));
  EXPECT_EQ(r.Header("Accept-Language"), "zh-cn");
  EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(o.body.size()));
  EXPECT_EQ(r.HeaderCount("Content-Length"), 1);
}

TEST_F(TransportTest, MethodsGetPostAndRefusal) {
  RequestOptions get;
  get.body = "ignored";
  SendRequest(Url("/api/announcement/list.e?q=1"), get);
  RequestOptions lower;
  lower.method = "post";
  lower.body = "x=1";
  SendRequest(Url("/api/comm/keep.e"), lower);
  RequestOptions empty_post;
  empty_post.method = "POST";
  SendRequest(Url("/api/comm/keep.e"), empty_post);
  RequestOptions put;
  put.method = "PUT";
  put.body = "x=1";
  EXPECT_EQ(SendRequest(Url("/api/comm/keep.e"), put), "");

  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 3u);  // the PUT never left
  EXPECT_EQ(requests[0].request_line, "GET /api/announcement/list.e?q=1 HTTP/1.1");
  EXPECT_EQ(requests[0].body, "");
  EXPECT_EQ(requests[0].HeaderCount("Content-Type"), 0);
  // A lower-case method takes the POST branch and goes out as written.
  EXPECT_EQ(requests[1].request_line, "post /api/comm/keep.e HTTP/1.1");
  EXPECT_EQ(requests[1].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[1].body, "x=1");
  // An empty POST declares no content type.
  EXPECT_EQ(requests[2].HeaderCount("Content-Type"), 0);
  EXPECT_EQ(requests[2].body, "");
}

TEST_F(TransportTest, CookiesOfAReplyGoBackToThatHost) {
  CookieStore::Shared().Clear();
  service_.AddAccount("alice", "pw");
  RequestOptions login;
  login.method = "POST";
  login.body = "account=alice&password=pw";
  SendRequest(Url("/api/login.e"), login);
  const std::string token = service_.TokenOf("alice");
  ASSERT_FALSE(token.empty());

  RequestOptions next;
  next.method = "POST";
  next.body = "token=x";
  SendRequest(Url("/api/comm/keep.e"), next);
  const auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].HeaderCount("Cookie"), 0);
  EXPECT_EQ(requests[1].Header("Cookie"), "NUVESESSION=" + token);
  CookieStore::Shared().Clear();
}

TEST_F(TransportTest, TimeOutCountsFromTheStart) {
  service_.SetMode("/api/comm/keep.e", ReplyMode::kNeverAnswer);
  RequestOptions o;
  o.method = "POST";
  o.body = "token=x";
  o.timeout_seconds = 1;
  std::string headers = "stale";
  o.response_headers = &headers;
  const auto start = Clock::now();
  EXPECT_EQ(SendRequest(Url("/api/comm/keep.e"), o), "");
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(950));
  EXPECT_LT(elapsed, std::chrono::milliseconds(2500));
  EXPECT_EQ(headers, "");
}

TEST_F(TransportTest, ACompletedRequestReturnsAtOnce) {
  RequestOptions o;
  o.method = "POST";
  o.body = "token=x";
  const auto start = Clock::now();
  EXPECT_NE(SendRequest(Url("/api/comm/keep.e"), o), "");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST_F(TransportTest, AStopRequestEndsTheWaitAtOnce) {
  service_.SetMode("/api/comm/keep.e", ReplyMode::kNeverAnswer);
  std::stop_source stop;
  std::thread stopper([&] {
    if (service_.WaitForRequests("/api/comm/keep.e", 1, std::chrono::seconds(10))) stop.request_stop();
  });
  RequestOptions o;
  o.method = "POST";
  o.body = "token=x";
  o.stop = stop.get_token();
  const auto start = Clock::now();
  EXPECT_EQ(SendRequest(Url("/api/comm/keep.e"), o), "");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  stopper.join();
}

TEST_F(TransportTest, RequestsOnSeveralThreadsAreIndependent) {
  service_.SetMode("/api/comm/keep.e", ReplyMode::kSlow);
  service_.SetSlowDelay(std::chrono::milliseconds(300));
  std::string inner;
  std::thread other([&] {
    ASSERT_TRUE(service_.WaitForRequests("/api/comm/keep.e", 1, std::chrono::seconds(10)));
    RequestOptions o;
    o.method = "POST";
    o.body = "appKey=k";
    inner = SendRequest(Url("/api/announcement/list.e"), o);
  });
  RequestOptions outer;
  outer.method = "POST";
  outer.body = "token=x";
  EXPECT_NE(SendRequest(Url("/api/comm/keep.e"), outer).find("\"code\":2"), std::string::npos);
  other.join();
  EXPECT_NE(inner.find("欢迎使用"), std::string::npos);
}

TEST_F(TransportTest, BrokenServersGiveAnEmptyBodyPromptly) {
  RequestOptions o;
  o.method = "POST";
  o.body = "token=x";
  o.timeout_seconds = 5;
  const auto start = Clock::now();
  // Nothing listens on port 1 of the loopback: the connection is refused.
  EXPECT_EQ(SendRequest("http://127.0.0.1:1/api/comm/keep.e", o), "");
  service_.SetMode("/api/comm/keep.e", ReplyMode::kDrop);
  EXPECT_EQ(SendRequest(Url("/api/comm/keep.e"), o), "");
  service_.SetMode("/api/comm/keep.e", ReplyMode::kHuge);
  EXPECT_EQ(SendRequest(Url("/api/comm/keep.e"), o), "");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  // An error page comes back like any body; the reply's reader decides.
  service_.SetMode("/api/comm/keep.e", ReplyMode::kServerError);
  std::string headers;
  o.response_headers = &headers;
  EXPECT_NE(SendRequest(Url("/api/comm/keep.e"), o).find("<html>"), std::string::npos);
  EXPECT_EQ(headers.rfind("HTTP/1.1 500", 0), 0u);
}

// Keeps the first bytes of the first connection to 127.0.0.1:port(), then
// closes it without a word.
class FirstBytesListener {
 public:
  FirstBytesListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd_, 4);
    socklen_t len = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] {
      pollfd pfd{fd_, POLLIN, 0};
      if (::poll(&pfd, 1, 10000) <= 0) return;
      const int client = ::accept(fd_, nullptr, nullptr);
      char buf[16];
      const ssize_t n = ::recv(client, buf, sizeof buf, 0);
      if (n > 0) bytes_.assign(buf, static_cast<std::size_t>(n));
      ::close(client);
    });
  }
  ~FirstBytesListener() {
    if (thread_.joinable()) thread_.join();
    ::close(fd_);
  }
  int port() const { return port_; }
  std::string Bytes() {
    if (thread_.joinable()) thread_.join();
    return bytes_;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::string bytes_;
};

TEST(TransportTlsTest, HttpsAddressesOpenWithATlsHandshake) {
  FirstBytesListener listener;
  RequestOptions o;
  o.method = "POST";
  o.body = "token=x";
  o.timeout_seconds = 5;
  const std::string url = "HTTPS://127.0.0.1:" + std::to_string(listener.port()) + "/api/comm/keep.e";
  EXPECT_EQ(SendRequest(url, o), "");
  const std::string first = listener.Bytes();
  ASSERT_GE(first.size(), 2u);
  EXPECT_EQ(first[0], '\x16') << "a TLS handshake record, not plain HTTP";
  EXPECT_EQ(first[1], '\x03');
}

}  // namespace
}  // namespace nuve::core
