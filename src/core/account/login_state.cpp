#include "core/account/login_state.h"

#include <vector>

#include "core/app/log.h"

namespace nuve::core {
namespace {
constexpr char kSection[] = "登录配置";
constexpr char kStateKey[] = "登录态";
constexpr char kAccountKey[] = "帐号";
}  // namespace

LoginState::Subscription& LoginState::Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    Reset();
    registry_ = std::move(other.registry_);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

void LoginState::Subscription::Reset() {
  if (auto registry = registry_.lock()) {
    std::lock_guard lock(registry->mutex);
    registry->listeners.erase(id_);
  }
  registry_.reset();
  id_ = 0;
}

LoginState::LoginState(std::filesystem::path login_ini, std::chrono::milliseconds keepalive_interval,
                       LoginSession::ExpiredCallback on_expired, std::chrono::milliseconds first_retry)
    : login_ini_(std::move(login_ini), /*owner_only=*/true),
      session_(keepalive_interval, std::move(on_expired), first_retry),
      registry_(std::make_shared<Subscription::Registry>()) {}

std::string LoginState::StoredState() const { return login_ini_.Read(kSection, kStateKey); }

bool LoginState::IsLoggedIn() const { return StoredState() == "1"; }

bool LoginState::CanLogOut() const { return StoredState() != "0"; }

std::string LoginState::LastAccount() const { return login_ini_.Read(kSection, kAccountKey); }

void LoginState::RecordLogin(const std::string& account) {
  Write(kStateKey, "1");
  Write(kAccountKey, account);
  Notify();
}

void LoginState::LogOut() {
  Write(kStateKey, "0");
  session_.StopKeepAlive();
  Notify();
}

LoginState::Subscription LoginState::Subscribe(Listener listener) {
  std::lock_guard lock(registry_->mutex);
  const int id = registry_->next_id++;
  registry_->listeners.emplace(id, std::move(listener));
  return Subscription(registry_, id);
}

void LoginState::Write(const char* key, const std::string& value) {
  if (const Status s = login_ini_.Write(kSection, key, value); !s.ok()) {
    LogWarning("login state", s.error().detail);
  }
}

void LoginState::Notify() {
  std::vector<Listener> listeners;
  {
    std::lock_guard lock(registry_->mutex);
    for (const auto& [id, listener] : registry_->listeners) listeners.push_back(listener);
  }
  for (const Listener& listener : listeners) listener();
}

}  // namespace nuve::core
