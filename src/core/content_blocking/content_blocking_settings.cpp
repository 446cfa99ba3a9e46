#include "core/content_blocking/content_blocking_settings.h"

#include <glib.h>

#include <algorithm>
#include <memory>

#include "core/content_blocking/filter_list_digest.h"

namespace nuve::core {
namespace {

constexpr std::string_view kSection = "广告拦截";
constexpr std::string_view kEnabledKey = "开启";
constexpr std::string_view kUpdatesKey = "自动更新";
constexpr std::string_view kSitesSection = "停用网站";
constexpr std::string_view kSubscriptionsSection = "订阅";

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

}  // namespace

const std::vector<OfferedFilterList>& OfferedFilterLists() {
  static const std::vector<OfferedFilterList> kLists = {
      {"EasyList", "https://easylist.to/easylist/easylist.txt", "easylist.txt"},
      {"EasyList China", "https://easylist-downloads.adblockplus.org/easylistchina.txt", ""},
      {"EasyPrivacy", "https://easylist.to/easylist/easyprivacy.txt", "easyprivacy.txt"},
  };
  return kLists;
}

ContentBlockingSettings::ContentBlockingSettings(const Config& config)
    : ContentBlockingSettings(config.config_dir / "Adblock.ini") {}

ContentBlockingSettings::ContentBlockingSettings(std::filesystem::path file) : file_(std::move(file)) {}

bool ContentBlockingSettings::Enabled() const { return file_.Read(kSection, kEnabledKey, "1") != "0"; }

Status ContentBlockingSettings::SetEnabled(bool enabled) const {
  return file_.Write(kSection, kEnabledKey, enabled ? "1" : "0");
}

std::optional<bool> ContentBlockingSettings::AutomaticUpdates() const {
  const std::string value = file_.Read(kSection, kUpdatesKey);
  if (value == "1") return true;
  if (value == "0") return false;
  return std::nullopt;
}

Status ContentBlockingSettings::SetAutomaticUpdates(bool enabled) const {
  return file_.Write(kSection, kUpdatesKey, enabled ? "1" : "0");
}

std::string ContentBlockingSettings::SiteOf(std::string_view uri) {
  const std::string text(uri);
  std::unique_ptr<GUri, decltype(&g_uri_unref)> parsed(g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr),
                                                        g_uri_unref);
  if (!parsed || g_uri_get_host(parsed.get()) == nullptr) return {};
  const std::string scheme = Lower(g_uri_get_scheme(parsed.get()));
  if (scheme != "http" && scheme != "https") return {};
  return Lower(g_uri_get_host(parsed.get()));
}

bool ContentBlockingSettings::IsSiteExcepted(std::string_view host) const {
  if (host.empty()) return false;
  return file_.Read(kSitesSection, Lower(host)) == "1";
}

Status ContentBlockingSettings::SetSiteExcepted(std::string_view host, bool excepted) const {
  if (host.empty() || host.find_first_of(" \t=[]\r\n") != std::string_view::npos) {
    return Error{ErrorKind::kInvalidName, "not a site: " + std::string(host)};
  }
  return file_.Write(kSitesSection, Lower(host), excepted ? "1" : "0");
}

std::vector<std::string> ContentBlockingSettings::ExceptedSites() const {
  std::vector<std::string> sites;
  for (const auto& [section, key] : file_.ListKeys()) {
    if (section == kSitesSection && file_.Read(section, key) == "1") sites.push_back(key);
  }
  std::sort(sites.begin(), sites.end());
  sites.erase(std::unique(sites.begin(), sites.end()), sites.end());
  return sites;
}

std::vector<FilterSubscription> ContentBlockingSettings::Subscriptions() const {
  std::vector<FilterSubscription> subscriptions;
  for (const auto& [section, name] : file_.ListKeys()) {
    if (section != kSubscriptionsSection) continue;
    const std::string key = name;  // (clang 14 cannot capture a structured binding)
    std::string url = file_.Read(section, key);
    // A hand-edited key that does not fit its address is named anew.
    if (!IsSubscriptionAddress(url) || SubscriptionId(url) != key) continue;
    const bool seen = std::any_of(subscriptions.begin(), subscriptions.end(),
                                  [&](const FilterSubscription& s) { return s.id == key; });
    if (!seen) subscriptions.push_back({key, std::move(url)});
  }
  return subscriptions;
}

bool ContentBlockingSettings::IsSubscriptionAddress(std::string_view url) {
  if (url.empty() || url.size() > 2000) return false;
  if (url.find_first_of(" \t\r\n") != std::string_view::npos) return false;
  const std::string lower = Lower(url.substr(0, 8));
  if (lower.compare(0, 7, "http://") != 0 && lower.compare(0, 8, "https://") != 0) return false;
  const std::string text(url);
  std::unique_ptr<GUri, decltype(&g_uri_unref)> parsed(g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr),
                                                        g_uri_unref);
  return parsed && g_uri_get_host(parsed.get()) != nullptr && *g_uri_get_host(parsed.get()) != '\0';
}

std::string ContentBlockingSettings::SubscriptionId(std::string_view url) {
  return FilterListDigest(url).substr(0, 16);
}

Status ContentBlockingSettings::AddSubscription(std::string_view url) const {
  if (!IsSubscriptionAddress(url)) {
    return Error{ErrorKind::kInvalidName, "not an http or https address: " + std::string(url)};
  }
  return file_.Write(kSubscriptionsSection, SubscriptionId(url), url);
}

Status ContentBlockingSettings::RemoveSubscription(std::string_view id) const {
  return file_.Write(kSubscriptionsSection, id, "");
}

}  // namespace nuve::core
