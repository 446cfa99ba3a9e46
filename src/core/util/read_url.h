#pragma once
// The plain HTTP GET of the program (version source, pictures of the account
// service): the whole body as bytes, nothing on any failure.

#include <cstddef>
#include <stop_token>
#include <string>

namespace nuve::core {

struct ReadUrlOptions {
  std::string proxy;                        // "host:port"; empty = direct
  long timeout_ms = 15000;                  // the whole transfer
  std::size_t max_bytes = 16 * 1024 * 1024; // a larger body counts as a failure
  std::stop_token stop;                     // a stop request ends the transfer at once
};

// Blocks the calling thread until the transfer ends; callers on the UI thread
// run it on a worker. Gives the body bytes, or "" when the address cannot be
// fetched, the server answers with an HTTP error status (>= 400), the time-out
// passes, the transfer is stopped or the body is larger than max_bytes.
std::string ReadUrl(const std::string& url, const ReadUrlOptions& options = {});

}  // namespace nuve::core
