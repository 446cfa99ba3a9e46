#include "core/app/version_lookup.h"

#include <algorithm>

#include "core/account/charset.h"
#include "core/app/window_title.h"
#include "core/util/read_url_helper.h"
#include "core/util/text_between.h"

namespace nuve::core {

std::string VersionSourceUrl(const Config& config) {
  std::string base = config.version_source;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + "/fcg-bin/cgi_get_portrait.fcg?uins=" + config.version_key +
         "&get_nick=1&_=1438937421131";
}

std::string ExtractVersionLabel(std::string reply, const std::string& version_key) {
  if (version_key.empty()) return {};
  std::string text = DecodeReplyText(reply);
  const auto at = text.rfind(version_key);
  if (at == std::string::npos) return {};
  // The key, then the 11 bytes that follow it, are skipped.
  const std::size_t skip = at + version_key.size() + 11;
  return TextBetween(text, "\"", "\"", skip);
}

std::string LatestVersionLookup(const Config& config, ReadUrlOptions options) {
  options.timeout_ms = std::min(options.timeout_ms, kVersionLookupTimeoutMs);
  return ExtractVersionLabel(ReadUrlApart(VersionSourceUrl(config), options), config.version_key);
}

bool IsNewerVersionPublished(const std::string& latest) {
  return !latest.empty() && latest != kVersionLabel;
}

UpdateCheckOutcome CompareWithLatest(const std::string& latest) {
  if (latest.empty()) return {{"获取最新版本失败，请检查网络后重试！", kRed}, false, false};
  if (latest == kVersionLabel) return {{"当前已是最新版本！", kGreen}, true, false};
  return {{"发现新版本，请更新！", kRed}, true, true};
}

}  // namespace nuve::core
