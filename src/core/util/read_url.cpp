#include "core/util/read_url.h"

#include <curl/curl.h>

#include <memory>

#include "core/app/log.h"
#include "core/util/curl_transfer.h"

namespace nuve::core {
namespace {

struct Sink {
  std::string body;
  std::size_t max_bytes = 0;
  bool overflow = false;
};

size_t WriteCb(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const size_t n = size * count;
  if (sink->body.size() + n > sink->max_bytes) {
    sink->overflow = true;
    return 0;  // makes curl stop with CURLE_WRITE_ERROR
  }
  sink->body.append(data, n);
  return n;
}

}  // namespace

std::string ReadUrl(const std::string& url, const ReadUrlOptions& options) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl || url.empty()) return {};
  Sink sink;
  sink.max_bytes = options.max_bytes;
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, options.timeout_ms);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_PROXY, options.proxy.c_str());  // "" means direct
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteCb);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  const std::stop_token stop = options.stop;
  const CURLcode rc = PerformTransfer(h, [&stop] { return stop.stop_requested(); });
  if (rc == CURLE_ABORTED_BY_CALLBACK) return {};
  if (rc != CURLE_OK) {
    LogWarning("read-url", url + ": " + (sink.overflow ? "body too large" : curl_easy_strerror(rc)));
    return {};
  }
  return std::move(sink.body);
}

}  // namespace nuve::core
