#pragma once
// The latest published version label. The version source is a profile page
// whose reply carries the version key, then 11 bytes, then the label between
// the next two double quotes.

#include <string>

#include "core/app/config.h"
#include "core/util/coloured_text.h"
#include "core/util/read_url.h"

namespace nuve::core {

// The version lookup gives up after this long.
inline constexpr long kVersionLookupTimeoutMs = 10000;

// The address fetched for `config`'s version source and key.
std::string VersionSourceUrl(const Config& config);

// The label in a version-source reply; "" when the key or the quotes are
// missing. A reply that is not UTF-8 is read as GBK.
std::string ExtractVersionLabel(std::string reply, const std::string& version_key);

// Fetches the version source in the fetch helper (read_url_helper.h) and
// returns the label, "" when the source cannot be reached or the reply has
// none. Blocks for kVersionLookupTimeoutMs at most: run it off the UI thread.
std::string LatestVersionLookup(const Config& config, ReadUrlOptions options = {});

// Whether the published `latest` label asks for an update of this build. An
// empty label (the source could not be read) never does.
bool IsNewerVersionPublished(const std::string& latest);

// What the check-update window's "检查更新" shows for the looked-up label.
struct UpdateCheckOutcome {
  ColouredText result;
  bool show_latest = false;     // the latest label becomes visible
  bool offer_download = false;  // "下载更新" becomes visible
};
// The same label: up to date (green). Another one: a new version (red), with
// the download offered. None (the lookup failed): a failure (red), with
// nothing offered.
UpdateCheckOutcome CompareWithLatest(const std::string& latest);

}  // namespace nuve::core
