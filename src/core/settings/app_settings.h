#pragma once
// The program's settings files and the keys it keeps in them:
//   "Set save.ini" (configuration folder)  [网址配置] 主页    the home page
//   "Set save.ini"                          [浏览配置] 启动时恢复网页  "1" reopen the last run's tabs
//   "Collection.ini" (configuration folder) [收藏夹配置] 收藏确认
// login.ini belongs to the login state (core/account/login_state.h).

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

  // The start-up marker: the address box's text when the favourites are listed.
  Status SetFavouritesCheck(const std::string& address) const;

  // Whether a start without an address reopens the previous run's tabs
  // (off unless the key says "1").
  bool RestoreLastSession() const;
  Status SetRestoreLastSession(bool restore) const;
  // Spelling in the pages' edit boxes is checked ("浏览配置" / "拼写检查").
  bool CheckSpelling() const;
  Status SetCheckSpelling(bool check) const;

  const IniFile& set_save() const { return set_save_; }
  const IniFile& collection() const { return collection_; }

 private:
  IniFile set_save_;
  IniFile collection_;
};

}  // namespace nuve::core
