#include "core/account/http_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

#include "core/account/cookie_store.h"
#include "core/account/url_split.h"
#include "core/app/log.h"
#include "core/util/curl_transfer.h"

namespace nuve::core {
namespace {

constexpr char kAcceptLine[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n";

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

bool ContainsIgnoringCase(std::string_view haystack, std::string_view needle) {
  return LowerAscii(haystack).find(LowerAscii(needle)) != std::string::npos;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

std::string Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

// A caller's Content-Length line would stand beside the one computed from the
// body, and two lengths make the request unreadable; the computed one wins.
std::string WithoutContentLength(const std::string& headers) {
  std::string out;
  std::size_t pos = 0;
  while (pos < headers.size()) {
    std::size_t end = headers.find('\n', pos);
    end = end == std::string::npos ? headers.size() : end + 1;
    const std::string_view line(headers.data() + pos, end - pos);
    if (LowerAscii(line.substr(0, 15)) != "content-length:") out.append(line);
    pos = end;
  }
  return out;
}

struct Transfer {
  std::string headers;
  std::string body;
  bool too_large = false;
};

size_t WriteCb(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (t->body.size() + n > kMaxReplyBytes) {
    t->too_large = true;
    return 0;  // curl stops with CURLE_WRITE_ERROR
  }
  t->body.append(data, n);
  return n;
}

size_t HeaderCb(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  const std::string_view line(data, n);
  // An interim reply (an authentication challenge) is followed by the final
  // one; only the final one's headers are kept.
  if (line.starts_with("HTTP/")) t->headers.clear();
  if (t->headers.size() + n <= 1024 * 1024) t->headers.append(line);
  return n;
}

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Where a request goes: the target curl fetches and the protocol it may use.
// An "https://" address is split like a plain one and keeps TLS, with port
// 443 unless it names another.
struct Target {
  std::string url;
  const char* protocol = "http";
};

Target TargetOf(const std::string& url) {
  constexpr std::string_view kTls = "https://";
  const bool tls = LowerAscii(std::string_view(url).substr(0, kTls.size())) == kTls;
  const std::string plain = tls ? "http://" + url.substr(kTls.size()) : url;
  const std::string host = UrlHost(plain);
  int port = UrlPort(plain);
  if (tls && UrlHost(plain, true).find(':') == std::string::npos) port = 443;
  Target target;
  target.url = std::string(tls ? "https://" : "http://") + host + ":" + std::to_string(port) + UrlPath(plain);
  target.protocol = tls ? "https" : "http";
  return target;
}

}  // namespace

std::string ComposeHeaders(const std::string& caller_headers, const std::string& url,
                           bool post_with_body, std::size_t body_size) {
  std::string headers = post_with_body ? WithoutContentLength(caller_headers) : caller_headers;
  // A caller text whose last line lacks its line end would run into the
  // first added line and corrupt both.
  if (!headers.empty() && headers.back() != '\n') headers += "\r\n";
  if (!ContainsIgnoringCase(headers, "Accept: ")) headers += kAcceptLine;
  if (!ContainsIgnoringCase(headers, "Referer: ")) headers += "Referer: " + url + "\r\n";
  if (!ContainsIgnoringCase(headers, "Accept-Language: ")) headers += "Accept-Language: zh-cn\r\n";
  if (post_with_body) {
    if (!ContainsIgnoringCase(headers, "Content-Type: ")) {
      headers += "Content-Type: application/x-www-form-urlencoded\r\n";
    }
    headers += "Content-Length: " + std::to_string(body_size) + "\r\n";
  }
  return headers;
}

int PerformRequest(RequestRecord& record, const std::atomic<bool>& cancelled,
                   std::chrono::steady_clock::time_point deadline) {
  record.Rewind();
  if (record.Read() != RequestRecord::kRequestMarker) return 0;
  const std::string url = record.Read();
  const std::string method = record.Read();
  const std::string proxy = record.Read();
  const std::string user = record.Read();
  const std::string password = record.Read();
  const std::string caller_headers = record.Read();
  const std::string body = record.Read();
  record.Clear();

  const bool is_get = method.empty() || EqualsIgnoringCase(method, "GET");
  const bool is_post = EqualsIgnoringCase(method, "POST");
  if (!is_get && !is_post) {
    LogWarning("transport", "refused method " + method);
    return 0;
  }
  const Target target = TargetOf(url);

  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return 0;
  CURL* h = curl.get();
  Transfer transfer;

  const bool post_with_body = is_post && !body.empty();
  const std::string headers = ComposeHeaders(caller_headers, url, post_with_body, body.size());
  std::unique_ptr<curl_slist, SlistDeleter> header_list;
  auto add_header = [&](const std::string& line) {
    curl_slist* grown = curl_slist_append(header_list.get(), line.c_str());
    if (grown != nullptr) {
      (void)header_list.release();
      header_list.reset(grown);
    }
  };
  std::size_t pos = 0;
  while (pos < headers.size()) {
    std::size_t end = headers.find("\r\n", pos);
    if (end == std::string::npos) end = headers.size();
    if (end > pos) add_header(headers.substr(pos, end - pos));  // blank lines carry no header
    pos = end + 2;
  }
  add_header("Expect:");  // the body goes out at once, never after a 100-continue round
  if (is_post && body.empty()) add_header("Content-Type:");  // an empty POST declares no type

  curl_easy_setopt(h, CURLOPT_URL, target.url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, target.protocol);
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(h, CURLOPT_USERAGENT, kTransportUserAgent);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
  const std::string trimmed_proxy = Trim(proxy);
  curl_easy_setopt(h, CURLOPT_PROXY, trimmed_proxy.c_str());  // "" also ignores *_proxy variables
  if (!Trim(user).empty()) {
    curl_easy_setopt(h, CURLOPT_USERNAME, user.c_str());
    if (!Trim(password).empty()) curl_easy_setopt(h, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, CURLAUTH_ANY);  // credentials only when challenged
  }
  if (is_post) {
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
  } else {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  }
  // The method goes out as written ("post" stays "post").
  if (method != "POST" && method != "GET" && !method.empty()) {
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method.c_str());
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, header_list.get());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteCb);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, HeaderCb);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
  CookieStore::Shared().Attach(h);

  const CURLcode rc = PerformTransfer(h, [&cancelled] { return cancelled.load(); }, deadline);
  if (rc == CURLE_ABORTED_BY_CALLBACK || rc == CURLE_OPERATION_TIMEDOUT) {
    if (rc == CURLE_OPERATION_TIMEDOUT) LogWarning("transport", url + ": no reply within the time-out");
    return 0;  // the caller stopped waiting: no reply
  }
  if (rc != CURLE_OK) {
    LogWarning("transport", url + ": " +
                                (transfer.too_large ? "reply larger than 16 MiB" : curl_easy_strerror(rc)));
    // A reply that broke off or overflowed is no reply: the body stays empty.
    transfer.body.clear();
  }
  record.Write(std::string(RequestRecord::kReplyMarker));
  record.Write(std::move(transfer.headers));
  record.Write(std::move(transfer.body));
  return 1;
}

std::string SendRequest(const std::string& url, const RequestOptions& options) {
  using Clock = std::chrono::steady_clock;
  const int seconds = options.timeout_seconds > 0 ? options.timeout_seconds : kDefaultTimeoutSeconds;
  // The time-out counts from the start of the request, whatever happens meanwhile.
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
  if (options.response_headers != nullptr) options.response_headers->clear();

  RequestRecord record;
  record.Write(std::string(RequestRecord::kRequestMarker));
  record.Write(url);
  record.Write(options.method);
  record.Write(options.proxy);
  record.Write(options.user);
  record.Write(options.password);
  record.Write(options.headers);
  record.Write(options.body);

  std::atomic<bool> cancelled{false};
  std::stop_callback on_stop(options.stop, [&cancelled] { cancelled = true; });
  if (PerformRequest(record, cancelled, deadline) == 0) return {};
  record.Rewind();
  const std::string marker = record.Read();
  std::string headers = record.Read();
  std::string body = record.Read();
  if (marker != RequestRecord::kReplyMarker) return {};
  if (options.response_headers != nullptr) *options.response_headers = std::move(headers);
  return body;
}

}  // namespace nuve::core
