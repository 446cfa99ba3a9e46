#pragma once
// Runs one prepared libcurl transfer on the calling thread in a way that can
// be abandoned: the caller's stop condition is checked at least every 50 ms,
// even while the server sends nothing, so a stopped or timed-out transfer
// ends at once instead of at the next progress tick of curl_easy_perform.

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace nuve::core {

// Performs the transfer of `handle` like curl_easy_perform. Gives the
// transfer's own result, CURLE_ABORTED_BY_CALLBACK when `should_stop`
// returned true first, or CURLE_OPERATION_TIMEDOUT when `deadline` passed.
CURLcode PerformTransfer(CURL* handle, const std::function<bool()>& should_stop,
                         std::chrono::steady_clock::time_point deadline =
                             std::chrono::steady_clock::time_point::max());

// A reply's body read into memory up to a limit: past `max_bytes` the
// transfer stops with CURLE_WRITE_ERROR and `overflow` says why.
struct BoundedBody {
  std::string text;
  std::size_t max_bytes = 0;
  bool overflow = false;

  // Makes `handle` write its body here.
  void AttachTo(CURL* handle);
};

}  // namespace nuve::core
