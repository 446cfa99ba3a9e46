#include "core/settings/app_settings.h"

namespace nuve::core {
namespace {
constexpr char kUrlSection[] = "网址配置";
constexpr char kHomePageKey[] = "主页";
constexpr char kLoginSection[] = "登录配置";
constexpr char kLoginStateKey[] = "登录态";
constexpr char kFavouritesSection[] = "收藏夹配置";
constexpr char kFavouritesCheckKey[] = "收藏确认";
}  // namespace

AppSettings::AppSettings(const Config& config)
    : set_save_(config.config_dir / "Set save.ini"),
      login_(config.data_dir / "login.ini", /*owner_only=*/true),
      collection_(config.config_dir / "Collection.ini") {}

std::string AppSettings::HomePage() const { return set_save_.Read(kUrlSection, kHomePageKey); }

Status AppSettings::SetHomePage(const std::string& address) const {
  return set_save_.Write(kUrlSection, kHomePageKey, address);
}

std::string AppSettings::LoginState() const { return login_.Read(kLoginSection, kLoginStateKey); }

Status AppSettings::SetLoginState(const std::string& state) const {
  return login_.Write(kLoginSection, kLoginStateKey, state);
}

Status AppSettings::SetFavouritesCheck(const std::string& address) const {
  return collection_.Write(kFavouritesSection, kFavouritesCheckKey, address);
}

}  // namespace nuve::core
