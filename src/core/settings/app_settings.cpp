#include "core/settings/app_settings.h"

namespace nuve::core {
namespace {
constexpr char kUrlSection[] = "网址配置";
constexpr char kHomePageKey[] = "主页";
constexpr char kFavouritesSection[] = "收藏夹配置";
constexpr char kFavouritesCheckKey[] = "收藏确认";
constexpr char kBrowsingSection[] = "浏览配置";
constexpr char kRestoreKey[] = "启动时恢复网页";
constexpr char kSpellingKey[] = "拼写检查";
}  // namespace

AppSettings::AppSettings(const Config& config)
    : set_save_(config.config_dir / "Set save.ini"),
      collection_(config.config_dir / "Collection.ini") {}

std::string AppSettings::HomePage() const { return set_save_.Read(kUrlSection, kHomePageKey); }

Status AppSettings::SetHomePage(const std::string& address) const {
  return set_save_.Write(kUrlSection, kHomePageKey, address);
}

Status AppSettings::SetFavouritesCheck(const std::string& address) const {
  return collection_.Write(kFavouritesSection, kFavouritesCheckKey, address);
}

bool AppSettings::RestoreLastSession() const { return set_save_.Read(kBrowsingSection, kRestoreKey) == "1"; }

Status AppSettings::SetRestoreLastSession(bool restore) const {
  return set_save_.Write(kBrowsingSection, kRestoreKey, restore ? "1" : "0");
}

// On unless the user turned it off.
bool AppSettings::CheckSpelling() const { return set_save_.Read(kBrowsingSection, kSpellingKey) != "0"; }

Status AppSettings::SetCheckSpelling(bool check) const {
  return set_save_.Write(kBrowsingSection, kSpellingKey, check ? "1" : "0");
}

}  // namespace nuve::core
