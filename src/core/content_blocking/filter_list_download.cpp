#include "core/content_blocking/filter_list_download.h"

#include <curl/curl.h>
#include <glib.h>

#include <algorithm>
#include <memory>
#include <system_error>

#include "core/app/log.h"
#include "core/util/curl_transfer.h"

namespace nuve::core {
namespace {

// The reply's Last-Modified, kept only when it can go back out as a header
// line; the last response's, after any redirects.
std::string LastModified(CURL* handle) {
  curl_header* header = nullptr;
  if (curl_easy_header(handle, "Last-Modified", 0, CURLH_HEADER, -1, &header) != CURLHE_OK) return {};
  const std::string_view value(header->value);
  if (value.size() >= 100 || value.find_first_of("\r\n") != std::string_view::npos) return {};
  return std::string(value);
}

}  // namespace

FilterListDownload DownloadFilterList(const std::string& url, const std::string& if_modified_since,
                                      const FilterDownloadOptions& options) {
  FilterListDownload result;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl || !ContentBlockingSettings::IsSubscriptionAddress(url)) {
    result.error = "not an http or https address";
    return result;
  }
  BoundedBody body;
  body.max_bytes = options.max_bytes;
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, curl_slist_free_all);
  if (!if_modified_since.empty()) {
    headers.reset(curl_slist_append(nullptr, ("If-Modified-Since: " + if_modified_since).c_str()));
  }
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, options.timeout_ms);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 16L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, options.stall_seconds);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(h, CURLOPT_PROXY, options.proxy.c_str());  // "" means direct
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  body.AttachTo(h);
  const std::stop_token stop = options.stop;
  const CURLcode rc = PerformTransfer(h, [&stop] { return stop.stop_requested(); });
  if (rc != CURLE_OK) {
    result.error = rc == CURLE_ABORTED_BY_CALLBACK ? "stopped"
                   : body.overflow                ? "larger than " + std::to_string(options.max_bytes) + " bytes"
                                                   : curl_easy_strerror(rc);
    return result;
  }
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  if (status == 304) {
    result.outcome = FilterListDownload::Outcome::kNotModified;
    return result;
  }
  if (status != 200) {
    result.error = "HTTP status " + std::to_string(status);
    return result;
  }
  result.outcome = FilterListDownload::Outcome::kUpdated;
  result.text = std::move(body.text);
  result.last_modified = LastModified(h);
  return result;
}

std::string FilterListTextFault(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return "empty";
  if (text[first] == '<') return "an HTML page, not a filter list";
  std::string head(text.substr(0, 1024));
  std::transform(head.begin(), head.end(), head.begin(), [](char c) { return g_ascii_tolower(c); });
  if (head.find("<html") != std::string::npos || head.find("<!doctype") != std::string::npos) {
    return "an HTML page, not a filter list";
  }
  if (text.find('\0') != std::string_view::npos) return "binary data, not a filter list";
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return "not UTF-8 text";
  return {};
}

SubscriptionRefresh RefreshSubscription(const FilterListCatalog& catalog, const FilterSubscription& subscription,
                                        const FilterDownloadOptions& options, std::int64_t now) {
  SubscriptionRefresh refresh;
  SubscriptionState& state = refresh.state;
  state = catalog.State(subscription.id);
  state.last_attempt = now;
  std::error_code ec;
  const bool have_copy = std::filesystem::is_regular_file(catalog.SubscriptionFile(subscription.id), ec);
  FilterListDownload download =
      DownloadFilterList(subscription.url, have_copy ? state.last_modified : std::string(), options);
  std::string fault = download.error;
  if (download.outcome == FilterListDownload::Outcome::kUpdated) {
    fault = FilterListTextFault(download.text);
    if (fault.empty()) {
      refresh.prepared = PrepareFilterText(download.text, options.stop);
      fault = refresh.prepared.error;
    }
    if (fault.empty()) {
      if (Status s = catalog.StoreDownload(subscription.id, download.text); !s.ok()) fault = s.error().detail;
    }
    if (fault.empty()) {
      refresh.changed = true;
      refresh.prepared.record.stamp = FilterListStamp(catalog.SubscriptionFile(subscription.id));
      state.last_updated = now;
      state.last_modified = download.last_modified;
    }
  }
  if (fault.empty()) {
    state.last_checked = now;
    state.last_error.clear();
  } else {
    refresh.prepared = {};
    state.last_error = fault;
    // A run that ends mid-download tries again at the next start.
    if (fault == "stopped") return refresh;
    LogWarning("filter lists", subscription.url + ": " + fault + "; the last good list stays");
  }
  if (Status s = catalog.SaveState(subscription.id, state); !s.ok()) LogWarning("filter lists", s.error().detail);
  return refresh;
}

}  // namespace nuve::core
