#include "core/content_blocking/filter_list_catalog.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <system_error>

#include "core/app/config.h"
#include "core/settings/ini_file.h"
#include "core/util/atomic_file.h"

namespace nuve::core {
namespace {

std::int64_t ReadNumber(const std::string& text) {
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() ? value : 0;
}

bool IsListFile(const std::filesystem::directory_entry& entry) {
  std::error_code ec;
  const std::string name = entry.path().filename().string();
  return !name.empty() && name.front() != '.' && name.back() != '~' && entry.is_regular_file(ec);
}

}  // namespace

bool IsFilterRefreshDue(const SubscriptionState& state, std::int64_t now) {
  // A clock set back by more than a day would otherwise wait for years.
  const bool clock_went_back = state.last_checked > now + 24 * 3600;
  if (state.last_checked != 0 && !clock_went_back && now - state.last_checked < kFilterRefreshSeconds) return false;
  if (state.last_attempt > state.last_checked && state.last_attempt <= now &&
      now - state.last_attempt < kFilterRetrySeconds) {
    return false;
  }
  return true;
}

FilterListCatalog::FilterListCatalog(const std::filesystem::path& data_dir, std::filesystem::path packaged_folder)
    : local_folder_(data_dir / "过滤规则"),
      downloads_(data_dir / "filter-lists"),
      packaged_folder_(std::move(packaged_folder)) {}

std::vector<FilterListSource> FilterListCatalog::List(const std::vector<FilterSubscription>& subscriptions) const {
  std::vector<FilterListSource> lists;
  std::error_code ec;
  std::vector<std::filesystem::path> local;
  for (std::filesystem::directory_iterator it(local_folder_, ec), end; !ec && it != end; it.increment(ec)) {
    if (IsListFile(*it)) local.push_back(it->path());
  }
  std::sort(local.begin(), local.end());
  for (const std::filesystem::path& file : local) {
    const std::string name = file.filename().string();
    lists.push_back({FilterListSource::Origin::kLocal, "local:" + name, name, file, {}, {}});
  }
  for (const OfferedFilterList& offered : OfferedFilterLists()) {
    if (offered.packaged_file.empty()) continue;
    const std::filesystem::path file = packaged_folder_ / std::string(offered.packaged_file);
    if (!std::filesystem::is_regular_file(file, ec)) continue;
    // A downloaded copy of the same list replaces Debian's.
    const auto replaced = std::find_if(subscriptions.begin(), subscriptions.end(), [&](const FilterSubscription& s) {
      return s.url == offered.url && std::filesystem::is_regular_file(SubscriptionFile(s.id), ec);
    });
    if (replaced != subscriptions.end()) continue;
    lists.push_back({FilterListSource::Origin::kPackaged, "packaged:" + std::string(offered.packaged_file),
                     std::string(offered.name), file, {}, {}});
  }
  for (const FilterSubscription& subscription : subscriptions) {
    std::string name = subscription.url;
    for (const OfferedFilterList& offered : OfferedFilterLists()) {
      if (offered.url == subscription.url) name = std::string(offered.name);
    }
    lists.push_back({FilterListSource::Origin::kSubscription, "subscription:" + subscription.id, name,
                     SubscriptionFile(subscription.id), subscription.url, subscription.id});
  }
  return lists;
}

std::filesystem::path FilterListCatalog::SubscriptionFile(std::string_view subscription_id) const {
  return downloads_ / (std::string(subscription_id) + ".txt");
}

SubscriptionState FilterListCatalog::State(std::string_view subscription_id) const {
  const IniFile ini(downloads_ / "state.ini");
  SubscriptionState state;
  state.last_checked = ReadNumber(ini.Read(subscription_id, "last-checked"));
  state.last_attempt = ReadNumber(ini.Read(subscription_id, "last-attempt"));
  state.last_updated = ReadNumber(ini.Read(subscription_id, "last-updated"));
  state.last_modified = ini.Read(subscription_id, "last-modified");
  state.last_error = ini.Read(subscription_id, "last-error");
  return state;
}

Status FilterListCatalog::SaveState(std::string_view subscription_id, const SubscriptionState& state) const {
  const IniFile ini(downloads_ / "state.ini");
  for (const auto& [key, value] :
       {std::pair<std::string_view, std::string>{"last-checked", std::to_string(state.last_checked)},
        {"last-attempt", std::to_string(state.last_attempt)},
        {"last-updated", std::to_string(state.last_updated)},
        {"last-modified", state.last_modified},
        {"last-error", state.last_error}}) {
    if (Status s = ini.Write(subscription_id, key, value); !s.ok()) return s;
  }
  return {};
}

Status FilterListCatalog::StoreDownload(std::string_view subscription_id, std::string_view text) const {
  if (!EnsureDirectory(downloads_)) return Error{ErrorKind::kIo, "cannot create " + downloads_.string()};
  return WriteFileAtomically(SubscriptionFile(subscription_id), text, 0644);
}

std::string ReadFilterListFile(const std::filesystem::path& file, std::string& error) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) {
    error = file.string() + ": " + ec.message();
    return {};
  }
  if (size > kMaxFilterListBytes) {
    error = file.string() + ": larger than " + std::to_string(kMaxFilterListBytes / (1024 * 1024)) + " MiB";
    return {};
  }
  std::ifstream in(file, std::ios::binary);
  std::string text(static_cast<std::size_t>(size), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(size))) {
    error = file.string() + ": cannot be read";
    return {};
  }
  error.clear();
  return text;
}

}  // namespace nuve::core
