#include "core/settings/app_settings.h"

namespace nuve::core {
namespace {
constexpr char kUrlSection[] = "网址配置";
constexpr char kHomePageKey[] = "主页";
constexpr char kBrowsingSection[] = "浏览配置";
constexpr char kRestoreKey[] = "启动时恢复网页";
constexpr char kLoginSection[] = "登录配置";
constexpr char kLoginStateKey[] = "登录态";
}  // namespace

AppSettings::AppSettings(const Config& config)
    : set_save_(config.config_dir / "Set save.ini"),
      login_(config.data_dir / "login.ini", /*owner_only=*/true),
      collection_(config.config_dir / "Collection.ini") {}

std::string AppSettings::HomePage() const { return set_save_.Read(kUrlSection, kHomePageKey); }

Status AppSettings::SetHomePage(const std::string& address) const {
  return set_save_.Write(kUrlSection, kHomePageKey, address);
}

bool AppSettings::RestoreLastSession() const { return set_save_.Read(kBrowsingSection, kRestoreKey) == "1"; }

Status AppSettings::SetRestoreLastSession(bool restore) const {
  return set_save_.Write(kBrowsingSection, kRestoreKey, restore ? "1" : "0");
}

std::string AppSettings::LoginState() const { return login_.Read(kLoginSection, kLoginStateKey); }

Status AppSettings::SetLoginState(const std::string& state) const {
  return login_.Write(kLoginSection, kLoginStateKey, state);
}

}  // namespace nuve::core
