#pragma once
// The one way the program talks to the account service: SendRequest runs a
// single HTTP/1.1 request and blocks the calling thread until it ends, so it
// is called off the user-interface thread (see core/util/task_runner.h). An
// address that starts with "https://" is fetched over TLS with the
// certificate and host name checked. Every failure reaches the caller as an
// empty body; nothing here shows a message.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <stop_token>
#include <string>

#include "core/account/request_record.h"

namespace nuve::core {

inline constexpr char kTransportUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
inline constexpr int kDefaultTimeoutSeconds = 90;
// A larger reply body counts as a failed request.
inline constexpr std::size_t kMaxReplyBytes = 16 * 1024 * 1024;

struct RequestOptions {
  std::string method;    // "GET", "POST" (any case) or "" for GET; others are refused
  std::string proxy;     // "host:port"; blank = direct connection
  std::string user;      // server credentials; blank = none
  std::string password;
  std::string headers;   // extra header lines, each ended by "\r\n"
  std::string body;      // bytes; sent with POST only
  int timeout_seconds = 0;  // 0 = kDefaultTimeoutSeconds, counted from the start of the request
  // A stop request ends the request at once with an empty body.
  std::stop_token stop;
  // Receives the raw reply headers (status line first, "\r\n" after every
  // line) when not null; "" after a failure.
  std::string* response_headers = nullptr;
};

// Performs the request and returns the reply body, or "" when the request
// cannot be made, is refused, fails, is larger than kMaxReplyBytes, is
// stopped or does not finish within the time-out. An HTTP error status still
// returns the error page's body.
std::string SendRequest(const std::string& url, const RequestOptions& options = {});

// Performs the request of `record` on the calling thread: takes the request
// form out of it and writes the reply form in its place. Returns 1 when a
// reply was written, 0 when it gave up (no request marker, a refused method,
// no handle, `cancelled` turned true or `deadline` passed); the record is
// then left empty.
int PerformRequest(RequestRecord& record, const std::atomic<bool>& cancelled,
                   std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());

// The header text sent with a request to `url`: the caller's lines followed,
// in this order, by the Accept, Referer and Accept-Language lines that the
// caller did not give (case-insensitive search for "Accept: ", "Referer: ",
// "Accept-Language: "), and for a POST with a body by a Content-Type line
// unless given and always a Content-Length line.
std::string ComposeHeaders(const std::string& caller_headers, const std::string& url,
                           bool post_with_body, std::size_t body_size);

}  // namespace nuve::core
