#pragma once
// Which filter lists are in use and where their text lives:
//   - every file in the folder "过滤规则" of the data folder (how users,
//     tests and machines without network supply lists);
//   - Debian's packaged EasyList and EasyPrivacy (webext-ublock-origin-
//     chromium), unless a downloaded copy of the same list replaces them;
//   - every subscription, downloaded to "filter-lists/<id>.txt" of the data
//     folder, with what the last download brought in "filter-lists/state.ini".

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/content_blocking/content_blocking_settings.h"
#include "core/util/status.h"

namespace nuve::core {

// Debian's copies of EasyList and EasyPrivacy.
inline constexpr std::string_view kPackagedFilterListFolder =
    "/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/easylist";
// Larger list files are not read (EasyList is 2 MB).
inline constexpr std::uintmax_t kMaxFilterListBytes = 64ull * 1024 * 1024;

struct FilterListSource {
  enum class Origin { kLocal, kPackaged, kSubscription };
  Origin origin = Origin::kLocal;
  // Stable for as long as the list is in use: "local:<file>",
  // "packaged:<file>", "subscription:<id>".
  std::string id;
  std::string name;             // what the settings window shows
  std::filesystem::path file;   // a subscription not downloaded yet has none
  std::string url;              // subscriptions only
  std::string subscription_id;  // subscriptions only
};

// What the downloads of one subscription brought.
struct SubscriptionState {
  std::int64_t last_checked = 0;  // last successful check (new list or "not modified"), Unix seconds
  std::int64_t last_attempt = 0;  // last download tried, whatever came of it
  std::int64_t last_updated = 0;  // when the stored copy arrived
  std::string last_modified;      // the server's Last-Modified for the stored copy
  std::string last_error;         // why the last attempt failed; "" after a success
};

// A subscription is refreshed 4 days after its last successful check; a
// failed attempt is tried again an hour later.
inline constexpr std::int64_t kFilterRefreshSeconds = 4 * 24 * 3600;
inline constexpr std::int64_t kFilterRetrySeconds = 3600;
// Whether a subscription in `state` should be downloaded at `now` (also
// when the clock went back far behind its last check).
bool IsFilterRefreshDue(const SubscriptionState& state, std::int64_t now);

class FilterListCatalog {
 public:
  FilterListCatalog(const std::filesystem::path& data_dir, std::filesystem::path packaged_folder);

  // The lists in use, in a fixed order: local files by name, then Debian's,
  // then the subscriptions in the order given.
  std::vector<FilterListSource> List(const std::vector<FilterSubscription>& subscriptions) const;

  const std::filesystem::path& local_folder() const { return local_folder_; }
  std::filesystem::path SubscriptionFile(std::string_view subscription_id) const;

  SubscriptionState State(std::string_view subscription_id) const;
  Status SaveState(std::string_view subscription_id, const SubscriptionState& state) const;
  // Replaces the stored copy of a subscription with `text` in one step.
  Status StoreDownload(std::string_view subscription_id, std::string_view text) const;

 private:
  std::filesystem::path local_folder_;
  std::filesystem::path downloads_;
  std::filesystem::path packaged_folder_;
};

// Reads a list file: its text, or "" with `error` set (missing, unreadable,
// larger than kMaxFilterListBytes).
std::string ReadFilterListFile(const std::filesystem::path& file, std::string& error);

}  // namespace nuve::core
