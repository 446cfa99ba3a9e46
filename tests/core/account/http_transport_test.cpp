#include "core/account/http_transport.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/account/cookie_store.h"
#include "core/account/url_split.h"
#include "support/fake_account_service.h"
#include "test_event_pump.h"

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
  test::TestEventPump pump_;
};

TEST_F(TransportTest, PostPutsTheExactBytesOnTheWire) {
  RequestOptions o;
  o.method = "POST";
  o.body = "a=1&b=%E4%B8%AD";
  o.pump = &pump_;
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

TEST_F(TransportTest, TimeOutCountsFromTheStartWhileEventsKeepArriving) {
  service_.SetMode("/api/comm/keep.e", ReplyMode::kNeverAnswer);
  RequestOptions o;
  o.method = "POST";
  o.body = "token=x";
  o.timeout_seconds = 1;
  o.pump = &pump_;  // an event every 10 ms
  std::string headers = "stale";
  o.response_headers = &headers;
  const auto start = Clock::now();
  EXPECT_EQ(SendRequest(Url("/api/comm/keep.e"), o), "");
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(950));
  EXPECT_LT(elapsed, std::chrono::milliseconds(2500));
  EXPECT_GT(pump_.events(), 20);  // the caller's events went on being handled
  EXPECT_EQ(headers, "");
}

TEST_F(TransportTest, ACompletedRequestWakesThePump) {
  // A pump that would otherwise sleep for a minute between events.
  test::TestEventPump slow_pump(std::chrono::minutes(1));
  RequestOptions o;
  o.method = "POST";
  o.body = "token=x";
  o.pump = &slow_pump;
  const auto start = Clock::now();
  EXPECT_NE(SendRequest(Url("/api/comm/keep.e"), o), "");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST_F(TransportTest, AStopRequestEndsTheWaitAtOnce) {
  service_.SetMode("/api/comm/keep.e", ReplyMode::kNeverAnswer);
  std::stop_source stop;
  pump_.on_event = [&] {
    if (service_.RequestsTo("/api/comm/keep.e").size() == 1) stop.request_stop();
  };
  RequestOptions o;
  o.method = "POST";
  o.body = "token=x";
  o.pump = &pump_;
  o.stop = stop.get_token();
  const auto start = Clock::now();
  EXPECT_EQ(SendRequest(Url("/api/comm/keep.e"), o), "");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST_F(TransportTest, NestedRequestsFromAnEventHandlerAreIndependent) {
  service_.SetMode("/api/comm/keep.e", ReplyMode::kSlow);
  service_.SetSlowDelay(std::chrono::milliseconds(300));
  std::string inner;
  bool started = false;
  pump_.on_event = [&] {
    if (started) return;
    started = true;
    RequestOptions o;
    o.method = "POST";
    o.body = "appKey=k";
    o.pump = &pump_;
    inner = SendRequest(Url("/api/announcement/list.e"), o);
  };
  RequestOptions outer;
  outer.method = "POST";
  outer.body = "token=x";
  outer.pump = &pump_;
  EXPECT_NE(SendRequest(Url("/api/comm/keep.e"), outer).find("\"code\":2"), std::string::npos);
  EXPECT_NE(inner.find("欢迎使用"), std::string::npos);
}

TEST_F(TransportTest, BrokenServersGiveAnEmptyBodyPromptly) {
  RequestOptions o;
  o.method = "POST";
  o.body = "token=x";
  o.timeout_seconds = 5;
  o.pump = &pump_;
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

}  // namespace
}  // namespace nuve::core
