#pragma once
// The one owner of the login: the session (token and keep-alive) and the
// logged-in flag 登录态 in login.ini, which stays the stored truth between
// runs. Windows ask it whether the user is logged in and tell it when a
// login succeeds or the user logs out; the logout menu item subscribes to
// its changes.
//
// login.ini (data folder, owner-only):
//   [登录配置] 登录态  "1" logged in, "0" logged out
//   [登录配置] 帐号    the account of the last successful login

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "core/account/login_session.h"
#include "core/settings/locked_ini_file.h"

namespace nuve::core {

class LoginState {
 public:
  using Listener = std::function<void()>;

  // Keeps a listener registered while it lives; a default one holds none.
  class [[nodiscard]] Subscription {
   public:
    Subscription() = default;
    ~Subscription() { Reset(); }
    Subscription(Subscription&& other) noexcept { *this = std::move(other); }
    Subscription& operator=(Subscription&& other) noexcept;
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    void Reset();

   private:
    friend class LoginState;
    struct Registry;
    Subscription(std::weak_ptr<Registry> registry, int id) : registry_(std::move(registry)), id_(id) {}
    std::weak_ptr<Registry> registry_;
    int id_ = 0;
  };

  // `on_expired` runs on the keep-alive thread when the service refused a
  // renewal (see LoginSession); the program then ends the login with
  // LogOut on its UI thread and tells the user. `first_retry`: see
  // LoginSession.
  LoginState(std::filesystem::path login_ini, std::chrono::milliseconds keepalive_interval,
             LoginSession::ExpiredCallback on_expired,
             std::chrono::milliseconds first_retry = kFirstRenewalRetry);
  LoginState(const LoginState&) = delete;
  LoginState& operator=(const LoginState&) = delete;

  LoginSession& session() { return session_; }
  // login.ini itself, for the remembered credentials kept beside the state.
  const LockedIniFile& login_ini() const { return login_ini_; }

  // 登录态 as stored; "" when the key is missing.
  std::string StoredState() const;
  // Logged in for the personal centre and the password window: exactly "1".
  bool IsLoggedIn() const;
  // Whether the logout item is offered: anything but exactly "0".
  bool CanLogOut() const;
  // [登录配置] 帐号: the account of the last successful login.
  std::string LastAccount() const;

  // After a successful login: 登录态 "1" and the account; tells listeners.
  void RecordLogin(const std::string& account);
  // 登录态 "0" and the keep-alive stopped; no request goes to the service.
  // Tells listeners.
  void LogOut();

  // `listener` runs after every change, on the thread that made it (the
  // user-interface thread).
  Subscription Subscribe(Listener listener);

 private:
  void Write(const char* key, const std::string& value);
  void Notify();

  LockedIniFile login_ini_;
  LoginSession session_;
  std::shared_ptr<Subscription::Registry> registry_;
};

struct LoginState::Subscription::Registry {
  std::mutex mutex;
  std::map<int, Listener> listeners;
  int next_id = 1;
};

}  // namespace nuve::core
