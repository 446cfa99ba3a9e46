#pragma once
// Texts of the account windows that follow from data: the code button's
// countdown, what a failed reply says, the personal centre's labels and
// status, the notices of the login, register and recover windows.

#include <string>
#include <string_view>

#include "core/account/api_response.h"
#include "core/account/user_info.h"
#include "core/util/coloured_text.h"

namespace nuve::core {

inline constexpr char kCodeButtonCaption[] = "获取验证码";
// Shown when a request failed and the service said nothing (unreachable,
// time-out, an answer that is no reply).
inline constexpr char kServiceUnreachable[] = "无法连接帐号服务，请检查网络后重试！";
// Shown in red in the login and register windows when passwords would
// cross the network unencrypted.
inline constexpr char kUnencryptedNotice[] = "注意：与帐号服务器的连接未加密，密码可能被他人截获。";

// "获取验证码（n）", with full-width parentheses.
std::string CountdownCaption(int seconds_left);

// The code button's sixty seconds after a request: one caption a second,
// "获取验证码（59）" first and "获取验证码（0）" last, then the button's
// own caption again.
class CodeCountdown {
 public:
  static constexpr int kSeconds = 60;
  // Starts from the beginning; gives the first caption.
  std::string Start();
  // A second later: the next caption, or once "（0）" has stood for a second
  // the button's own caption, and the countdown is over.
  std::string Tick();
  bool running() const { return running_; }

 private:
  int left_ = 0;
  bool running_ = false;
};

// The message of a failed reply; kServiceUnreachable when it has none.
std::string FailureText(const ApiResponse& reply);

// The recovery window's notice; `contact` (an instant-messaging contact of
// the operator) is named when given.
std::string RecoveryNotice(std::string_view contact);

// The personal centre's labels for a profile, with the texts they start with.
struct ProfileTexts {
  std::string id;
  std::string account;
  std::string email;
  std::string regist_time;
  std::string login_time;
  std::string login_address;
};
ProfileTexts MakeProfileTexts(const UserInfo& user);
// The status label: not logged in (blue), logged in and normal (green) or
// logged in and blocked (red).
ColouredText AccountStatus(bool logged_in, bool account_normal);

}  // namespace nuve::core
