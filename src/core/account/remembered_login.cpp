#include "core/account/remembered_login.h"

#include "core/app/log.h"

namespace nuve::core {
namespace {
constexpr char kCredentials[] = "登录帐密";
constexpr char kAccountKey[] = "帐号";
constexpr char kPasswordKey[] = "密码";
constexpr char kMemory[] = "登录记忆";
constexpr char kRememberKey[] = "密码记忆";
constexpr char kAutoKey[] = "自动记忆";

const char* Flag(bool on) { return on ? "1" : "0"; }
}  // namespace

RememberedLogin::RememberedLogin(LoginState& state, PasswordStore* store, TaskRunner* runner)
    : state_(state), store_(store), runner_(runner) {}

bool RememberedLogin::RemembersPassword() const {
  return state_.login_ini().Read(kMemory, kRememberKey) == "1";
}

bool RememberedLogin::LogsInAutomatically() const { return state_.login_ini().Read(kMemory, kAutoKey) == "1"; }

std::string RememberedLogin::LastTypedAccount() const {
  return state_.login_ini().Read(kCredentials, kAccountKey);
}

void RememberedLogin::SetRemembersPassword(bool on) {
  if (const Status s = state_.login_ini().Write(kMemory, kRememberKey, Flag(on)); !s.ok()) {
    LogWarning("remembered login", s.error().detail);
  }
}

void RememberedLogin::SetLogsInAutomatically(bool on) {
  if (const Status s = state_.login_ini().Write(kMemory, kAutoKey, Flag(on)); !s.ok()) {
    LogWarning("remembered login", s.error().detail);
  }
}

void RememberedLogin::SetLastTypedAccount(const std::string& account) {
  if (const Status s = state_.login_ini().Write(kCredentials, kAccountKey, account); !s.ok()) {
    LogWarning("remembered login", s.error().detail);
  }
}

std::string RememberedLogin::LoadPassword(std::stop_token stop) {
  std::lock_guard lock(password_mutex_);
  const std::string in_file = state_.login_ini().Read(kCredentials, kPasswordKey);
  if (store_ == nullptr) return in_file;
  const std::optional<std::string> kept = store_->Lookup(Key(), stop);
  if (!kept) return in_file;  // no secret store now: the file is all there is
  // A password in the file is newer than the store's (written while the
  // store could not be reached, or by an older version): it moves over.
  if (!in_file.empty()) {
    if (store_->Store(Key(), LastTypedAccount(), in_file, stop)) WriteIniPassword("");
    return in_file;
  }
  return *kept;
}

void RememberedLogin::RememberPassword(std::string account, std::string password) {
  // The ticket is taken here, in the order the user acted.
  const std::uint64_t ticket = ++next_ticket_;
  auto apply = [this, ticket, account = std::move(account), password = std::move(password)](std::stop_token stop) {
    ApplyPassword(ticket, account, password, stop);
  };
  if (runner_ != nullptr) {
    runner_->Run(writes_, std::move(apply));
  } else {
    apply({});
  }
}

void RememberedLogin::PasswordChangedOnService(const std::string& account, std::string new_password) {
  if (!RemembersPassword() || account.empty() || account != state_.LastAccount()) return;
  RememberPassword(account, std::move(new_password));
}

void RememberedLogin::ApplyPassword(std::uint64_t ticket, const std::string& account,
                                    const std::string& password, std::stop_token stop) {
  std::lock_guard lock(password_mutex_);
  if (ticket < applied_ticket_) return;  // a later change was applied already
  applied_ticket_ = ticket;
  if (store_ == nullptr) {
    WriteIniPassword(password);
    return;
  }
  if (password.empty()) {
    store_->Clear(Key(), stop);
    WriteIniPassword("");
    return;
  }
  // Without a reachable store the file keeps it, as it always did.
  WriteIniPassword(store_->Store(Key(), account, password, stop) ? "" : password);
}

void RememberedLogin::WriteIniPassword(const std::string& password) {
  if (const Status s = state_.login_ini().Write(kCredentials, kPasswordKey, password); !s.ok()) {
    LogWarning("remembered login", s.error().detail);
  }
}

}  // namespace nuve::core
