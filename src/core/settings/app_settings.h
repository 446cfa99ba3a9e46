#pragma once
// The program's settings files and the keys it keeps in them:
//   "Set save.ini" (configuration folder)  [网址配置] 主页    the home page
//   "login.ini"    (data folder, 0600)     [登录配置] 登录态  "1" logged in, "0" not
//   "Set save.ini"                          [浏览配置] 启动时恢复网页  "1" reopen the last run's tabs
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

  // Whether a start without an address reopens the previous run's tabs
  // (off unless the key says "1").
  bool RestoreLastSession() const;
  Status SetRestoreLastSession(bool restore) const;

  // The stored login state text ("" when the key is missing).
  std::string LoginState() const;
  Status SetLoginState(const std::string& state) const;

  const IniFile& set_save() const { return set_save_; }
  const IniFile& login() const { return login_; }
  const IniFile& collection() const { return collection_; }

 private:
  IniFile set_save_;
  IniFile login_;
  IniFile collection_;
};

}  // namespace nuve::core
