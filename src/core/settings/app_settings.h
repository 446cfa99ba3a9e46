#pragma once
// The program's settings files and the keys it keeps in them:
//   "Set save.ini" (configuration folder)  [网址配置] 主页    the home page
//   "login.ini"    (data folder, 0600)     [登录配置] 登录态  "1" logged in, "0" not
//   "Collection.ini" (configuration folder) [收藏夹配置] 收藏确认

#include <string>

#include "core/app/config.h"
#include "core/settings/ini_file.h"

namespace nuve::core {

class AppSettings {
 public:
  explicit AppSettings(const Config& config);

  // The saved home page as typed; "" when none is saved.
  std::string HomePage() const;
  Status SetHomePage(const std::string& address) const;

  // The stored login state text ("" when the key is missing).
  std::string LoginState() const;
  Status SetLoginState(const std::string& state) const;

  // The start-up marker: the address box's text when the favourites are listed.
  Status SetFavouritesCheck(const std::string& address) const;

  const IniFile& set_save() const { return set_save_; }
  const IniFile& login() const { return login_; }
  const IniFile& collection() const { return collection_; }

 private:
  IniFile set_save_;
  IniFile login_;
  IniFile collection_;
};

}  // namespace nuve::core
