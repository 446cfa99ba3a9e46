#pragma once
// The one way the program talks to the account service: SendRequest runs a
// single HTTP/1.1 request on a worker thread of its own while the calling
// thread keeps handling its events. Every failure reaches the caller as an
// empty body; nothing here shows a message.

#include <atomic>
#include <cstddef>
#include <stop_token>
#include <string>

#include "core/account/event_pump.h"
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
  // Handles the caller's events while it waits; null for a thread without
  // events. It must outlive the call, not the worker.
  EventPump* pump = nullptr;
  // A stop request ends the wait at once with an empty body.
  std::stop_token stop;
  // Receives the raw reply headers (status line first, "\r\n" after every
  // line) when not null; "" after a failure.
  std::string* response_headers = nullptr;
};

// Performs the request and returns the reply body, or "" when the request
// cannot be made, is refused, fails, is larger than kMaxReplyBytes or does
// not finish within the time-out. An HTTP error status still returns the
// error page's body. After a time-out the transfer is cancelled and its
// result dropped; the worker ends on its own shortly after.
std::string SendRequest(const std::string& url, const RequestOptions& options = {});

// The worker's routine: takes the request form out of `record` and writes the
// reply form in its place. Returns 1 when a reply was written, 0 when it gave
// up (no request marker, a refused method, no handle). `cancelled` aborts the
// transfer when it becomes true.
int PerformRequest(RequestRecord& record, const std::atomic<bool>& cancelled);

// The header text sent with a request to `url`: the caller's lines followed,
// in this order, by the Accept, Referer and Accept-Language lines that the
// caller did not give (case-insensitive search for "Accept: ", "Referer: ",
// "Accept-Language: "), and for a POST with a body by a Content-Type line
// unless given and always a Content-Length line.
std::string ComposeHeaders(const std::string& caller_headers, const std::string& url,
                           bool post_with_body, std::size_t body_size);

}  // namespace nuve::core
