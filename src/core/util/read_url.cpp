#include "core/util/read_url.h"

#include <curl/curl.h>

#include <memory>

#include "core/app/log.h"
#include "core/util/curl_transfer.h"

namespace nuve::core {
std::string ReadUrl(const std::string& url, const ReadUrlOptions& options) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl || url.empty()) return {};
  BoundedBody body;
  body.max_bytes = options.max_bytes;
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
  body.AttachTo(h);
  const std::stop_token stop = options.stop;
  const CURLcode rc = PerformTransfer(h, [&stop] { return stop.stop_requested(); });
  if (rc == CURLE_ABORTED_BY_CALLBACK) return {};
  if (rc != CURLE_OK) {
    LogWarning("read-url", url + ": " + (body.overflow ? "body too large" : curl_easy_strerror(rc)));
    return {};
  }
  return std::move(body.text);
}

}  // namespace nuve::core
