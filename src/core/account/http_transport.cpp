#include "core/account/http_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/account/cookie_store.h"
#include "core/account/url_split.h"
#include "core/app/log.h"

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

// The state one request shares between the caller and its worker.
struct Exchange {
  RequestRecord record;
  std::atomic<bool> cancelled{false};
  std::mutex mutex;
  std::condition_variable_any finished_cv;
  bool finished = false;          // guarded by mutex
  EventPump* pump = nullptr;      // guarded by mutex; null once the caller left
};

struct Transfer {
  std::string headers;
  std::string body;
  bool too_large = false;
  const std::atomic<bool>* cancelled = nullptr;
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

int ProgressCb(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(user)->cancelled->load() ? 1 : 0;
}

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

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

int PerformRequest(RequestRecord& record, const std::atomic<bool>& cancelled) {
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
  const std::string host = UrlHost(url);
  const std::string path = UrlPath(url);
  const int port = UrlPort(url);

  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return 0;
  CURL* h = curl.get();
  Transfer transfer;
  transfer.cancelled = &cancelled;

  const std::string target = "http://" + host + ":" + std::to_string(port) + path;
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

  curl_easy_setopt(h, CURLOPT_URL, target.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
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
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, ProgressCb);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
  CookieStore::Shared().Attach(h);

  const CURLcode rc = curl_easy_perform(h);
  if (rc != CURLE_OK) {
    if (!cancelled.load()) {
      LogWarning("transport", url + ": " +
                                  (transfer.too_large ? "reply larger than 16 MiB" : curl_easy_strerror(rc)));
    }
    // A reply that broke off or overflowed is no reply: the body stays empty.
    transfer.body.clear();
  }
  record.Write(std::string(RequestRecord::kReplyMarker));
  record.Write(std::move(transfer.headers));
  record.Write(std::move(transfer.body));
  return 1;
}

std::string SendRequest(const std::string& url, const RequestOptions& options) {
  using Clock = EventPump::Clock;
  const int seconds = options.timeout_seconds > 0 ? options.timeout_seconds : kDefaultTimeoutSeconds;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
  if (options.response_headers != nullptr) options.response_headers->clear();

  auto exchange = std::make_shared<Exchange>();
  RequestRecord& record = exchange->record;
  record.Write(std::string(RequestRecord::kRequestMarker));
  record.Write(url);
  record.Write(options.method);
  record.Write(options.proxy);
  record.Write(options.user);
  record.Write(options.password);
  record.Write(options.headers);
  record.Write(options.body);
  exchange->pump = options.pump;

  std::thread worker;
  try {
    worker = std::thread([exchange] {
      PerformRequest(exchange->record, exchange->cancelled);
      std::lock_guard lock(exchange->mutex);
      exchange->finished = true;
      exchange->finished_cv.notify_all();
      if (exchange->pump != nullptr) exchange->pump->Wake();
    });
  } catch (const std::system_error& e) {
    LogError("transport", std::string("cannot start the request thread: ") + e.what());
    return {};
  }

  // A stop request must end a wait that is inside the pump as well.
  std::stop_callback on_stop(options.stop, [&exchange] {
    std::lock_guard lock(exchange->mutex);
    exchange->finished_cv.notify_all();
    if (exchange->pump != nullptr) exchange->pump->Wake();
  });

  // The time-out counts from the start: events the pump handles (and a busy
  // main context has timers firing all the time) never extend it.
  std::unique_lock lock(exchange->mutex);
  while (!exchange->finished && !options.stop.stop_requested() && Clock::now() < deadline) {
    if (options.pump != nullptr) {
      lock.unlock();
      options.pump->PumpUntil(deadline);
      lock.lock();
    } else {
      exchange->finished_cv.wait_until(lock, options.stop, deadline, [&] { return exchange->finished; });
    }
  }
  const bool finished = exchange->finished;
  if (!finished) {
    // The caller leaves now: the worker must not wake a pump that may be gone
    // by the time it ends, and its transfer is cancelled and its result dropped.
    exchange->pump = nullptr;
    exchange->cancelled = true;
  }
  lock.unlock();

  if (!finished) {
    worker.detach();
    return {};
  }
  worker.join();
  record.Rewind();
  const std::string marker = record.Read();
  std::string headers = record.Read();
  std::string body = record.Read();
  if (marker != RequestRecord::kReplyMarker) return {};
  if (options.response_headers != nullptr) *options.response_headers = std::move(headers);
  return body;
}

}  // namespace nuve::core
