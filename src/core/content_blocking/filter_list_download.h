#pragma once
// Keeping a subscribed filter list up to date: a conditional GET
// (If-Modified-Since) through the proxy of the command line, a check that
// what came back is a filter list at all, and, only when it is and converts
// into rules, the new copy stored in place of the old one. Anything else
// (a time-out, an error status, a redirect loop, an HTML page, binary data,
// a body over the size limit) keeps the last good list and is remembered
// as the subscription's last error. Everything here blocks; callers on the
// user-interface thread run it on a worker.

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

#include "core/content_blocking/compiled_filter_index.h"
#include "core/content_blocking/content_blocking_settings.h"
#include "core/content_blocking/filter_list_catalog.h"

namespace nuve::core {

struct FilterDownloadOptions {
  std::string proxy;                          // "host:port"; empty = direct
  long timeout_ms = 120000;                   // the whole transfer
  long stall_seconds = 30;                    // less than 16 bytes a second this long ends it
  std::size_t max_bytes = 32 * 1024 * 1024;   // a larger body is refused
  std::stop_token stop;
};

struct FilterListDownload {
  enum class Outcome { kUpdated, kNotModified, kFailed } outcome = Outcome::kFailed;
  std::string text;           // kUpdated: the body
  std::string last_modified;  // kUpdated: the reply's Last-Modified, "" when it had none
  std::string error;          // kFailed: why, for the log and the settings
};

// One GET of `url`; `if_modified_since` ("" for none) goes out as
// If-Modified-Since. Redirects are followed up to 10 times, http and https
// only.
FilterListDownload DownloadFilterList(const std::string& url, const std::string& if_modified_since,
                                      const FilterDownloadOptions& options);

// Why `text` cannot be a filter list, or "" when it may be one: empty, an
// HTML page, binary data, not UTF-8.
std::string FilterListTextFault(std::string_view text);

struct SubscriptionRefresh {
  bool changed = false;         // a new copy was stored
  PreparedFilterList prepared;  // changed: the new copy, converted (stamp set)
  SubscriptionState state;      // as saved
};

// Downloads `subscription` (conditionally when a copy is stored), checks and
// converts the reply, stores it when it gives rules, and saves the state
// with `now` (Unix seconds). On any failure the stored copy stays as it was.
SubscriptionRefresh RefreshSubscription(const FilterListCatalog& catalog, const FilterSubscription& subscription,
                                        const FilterDownloadOptions& options, std::int64_t now);

}  // namespace nuve::core
