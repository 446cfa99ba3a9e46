#pragma once
// What the login window remembers between runs, in login.ini beside the
// login state:
//   [登录帐密] 帐号     the account typed at the last login attempt
//   [登录帐密] 密码     the remembered password, while no secret store keeps it
//   [登录记忆] 密码记忆 "1": fill in the remembered password
//   [登录记忆] 自动记忆 "1": log in as soon as the login window opens
// With a secret store the password lives there and 密码 stays empty; a
// password still found in login.ini moves there the next time it is read.
// Without one it stays in login.ini, which is owner-only.
//
// The flags are plain INI keys, read and written on the user-interface
// thread. The password is kept and forgotten on the task runner, in a scope
// of this object's own, so that a window closing at once does not cancel it;
// LoadPassword blocks on the secret store: run it on a worker.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>

#include "core/account/login_state.h"
#include "core/account/password_store.h"
#include "core/util/task_runner.h"
#include "core/util/task_scope.h"

namespace nuve::core {

class RememberedLogin {
 public:
  // `store` may be null (no secret store); without `runner` the password
  // is written on the calling thread. All three must outlive this object.
  RememberedLogin(LoginState& state, PasswordStore* store, TaskRunner* runner = nullptr);
  RememberedLogin(const RememberedLogin&) = delete;
  RememberedLogin& operator=(const RememberedLogin&) = delete;

  bool RemembersPassword() const;     // 密码记忆 is exactly "1"
  bool LogsInAutomatically() const;   // 自动记忆 is exactly "1"
  std::string LastTypedAccount() const;
  void SetRemembersPassword(bool on);
  void SetLogsInAutomatically(bool on);
  void SetLastTypedAccount(const std::string& account);

  // The remembered password ("" when none). Blocks on the secret store.
  std::string LoadPassword(std::stop_token stop = {});

  // Keeps `password` (typed with `account`) as the remembered one. Returns
  // at once; of two changes, the one made last wins even when the runner
  // applies the other one after it.
  void RememberPassword(std::string account, std::string password);
  // Erases the remembered password.
  void ForgetPassword() { RememberPassword({}, {}); }
  // After the service accepted `new_password` for `account`: when the
  // password is remembered for the account the next login starts with
  // ([登录配置] 帐号), it becomes the new one.
  void PasswordChangedOnService(const std::string& account, std::string new_password);

 private:
  void ApplyPassword(std::uint64_t ticket, const std::string& account, const std::string& password,
                     std::stop_token stop);
  void WriteIniPassword(const std::string& password);
  std::string Key() const { return state_.login_ini().path().string(); }

  LoginState& state_;
  PasswordStore* store_;
  TaskRunner* runner_;
  TaskScope writes_;
  std::atomic<std::uint64_t> next_ticket_{0};
  std::mutex password_mutex_;  // one password read or write at a time
  std::uint64_t applied_ticket_ = 0;
};

}  // namespace nuve::core
