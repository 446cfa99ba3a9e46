#include "server/api/version_channel.h"

#include <algorithm>

#include "server/api/input_rules.h"
#include "server/server_log.h"
#include "server/store/store_error.h"

namespace nuve::server {

bool IsPublishableLabel(const std::string& label, const std::string& key) {
  return IsShortText(label, 64) && label.size() <= 64 && label.find('"') == std::string::npos &&
         label.find('\\') == std::string::npos && (key.empty() || label.find(key) == std::string::npos);
}

std::string VersionChannel::PublishedLabel() const {
  try {
    const auto stored = deps_.store.Read([](Tx& tx) { return tx.Setting(kPublishedVersionSetting); });
    if (stored && IsPublishableLabel(*stored, deps_.config.version_key)) return *stored;
  } catch (const StoreError& e) {
    // Browsers still learn the configured label while the database is away.
    LogError(std::string("version channel: ") + e.what());
  }
  return deps_.config.published_version;
}

std::string VersionChannel::Reply(const std::string& uins) const {
  const std::string& key = deps_.config.version_key;
  bool asked = false;
  std::size_t start = 0;
  while (start <= uins.size()) {
    const std::size_t comma = std::min(uins.find(',', start), uins.size());
    if (uins.compare(start, comma - start, key) == 0) asked = true;
    start = comma + 1;
  }
  if (!asked) return "portraitCallBack({});";
  // "KEY":[0,0,0,0, is the key and eleven bytes; the label follows.
  return "portraitCallBack({\"" + key + "\":[0,0,0,0,\"" + PublishedLabel() + "\"]});";
}

}  // namespace nuve::server
