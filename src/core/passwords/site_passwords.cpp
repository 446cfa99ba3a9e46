#include "core/passwords/site_passwords.h"

#include <algorithm>

namespace nuve::core {

bool WorthOfferingToSave(const SiteAccounts& saved, const SiteAccount& submitted) {
  if (saved.problem == SecretStoreProblem::kUnavailable || saved.problem == SecretStoreProblem::kFailed) {
    return false;
  }
  if (submitted.origin.empty() || submitted.password.empty()) return false;
  const auto same = std::find_if(saved.accounts.begin(), saved.accounts.end(), [&](const SiteAccount& a) {
    return a.origin == submitted.origin && a.username == submitted.username;
  });
  if (same == saved.accounts.end()) return true;
  // A locked keyring reads the saved password as "": it may have changed.
  return same->password != submitted.password;
}

SitePasswords::SitePasswords(SitePasswordStore* store, NeverSaveList never_save, TaskRunner& runner)
    : store_(store), never_save_(std::move(never_save)), runner_(runner) {}

bool SitePasswords::MayOfferToSave(const std::string& origin) const {
  return store_ != nullptr && !origin.empty() && !never_save_.Contains(origin);
}

void SitePasswords::CheckSubmitted(SiteAccount submitted, TaskScope& scope, std::function<void(bool)> done) {
  if (store_ == nullptr) {
    done(false);
    return;
  }
  SitePasswordStore* store = store_;
  const std::string origin = submitted.origin;
  runner_.Run<SiteAccounts>(
      scope, [store, origin](std::stop_token stop) { return store->Find(origin, UnlockPolicy::kDoNotAsk, stop); },
      [submitted = std::move(submitted), done = std::move(done)](SiteAccounts saved) {
        done(WorthOfferingToSave(saved, submitted));
      });
}

void SitePasswords::FindForFill(const std::string& origin, TaskScope& scope, std::function<void(SiteAccounts)> done) {
  if (store_ == nullptr) {
    done({SecretStoreProblem::kUnavailable, {}});
    return;
  }
  SitePasswordStore* store = store_;
  const UnlockPolicy unlock = ask_unlock_for_fill_ ? UnlockPolicy::kAsk : UnlockPolicy::kDoNotAsk;
  // The flag is this object's; the answer reaches it only while the
  // caller's scope lives, and this object outlives every caller.
  runner_.Run<SiteAccounts>(
      scope, [store, origin, unlock](std::stop_token stop) { return store->Find(origin, unlock, stop); },
      [this, unlock, done = std::move(done)](SiteAccounts found) {
        if (unlock == UnlockPolicy::kAsk && found.problem == SecretStoreProblem::kLocked) ask_unlock_for_fill_ = false;
        std::erase_if(found.accounts, [](const SiteAccount& a) { return a.password.empty(); });
        done(std::move(found));
      });
}

void SitePasswords::Save(SiteAccount account, TaskScope& scope, std::function<void(SecretStoreProblem)> done) {
  if (store_ == nullptr) {
    done(SecretStoreProblem::kUnavailable);
    return;
  }
  SitePasswordStore* store = store_;
  runner_.Run<SecretStoreProblem>(
      writes_, [store, account = std::move(account)](std::stop_token stop) { return store->Save(account, stop); },
      [this, bound = scope.Bind(std::move(done))](SecretStoreProblem problem) mutable {
        if (problem == SecretStoreProblem::kNone) ask_unlock_for_fill_ = true;
        bound(problem);
      });
}

void SitePasswords::List(TaskScope& scope, std::function<void(SiteAccounts)> done) {
  if (store_ == nullptr) {
    done({SecretStoreProblem::kUnavailable, {}});
    return;
  }
  SitePasswordStore* store = store_;
  runner_.Run<SiteAccounts>(scope, [store](std::stop_token stop) { return store->List(stop); }, std::move(done));
}

void SitePasswords::FindPassword(const std::string& origin, const std::string& username, TaskScope& scope,
                                 std::function<void(std::optional<std::string>, SecretStoreProblem)> done) {
  if (store_ == nullptr) {
    done(std::nullopt, SecretStoreProblem::kUnavailable);
    return;
  }
  SitePasswordStore* store = store_;
  runner_.Run<SiteAccounts>(
      scope, [store, origin](std::stop_token stop) { return store->Find(origin, UnlockPolicy::kAsk, stop); },
      [username, done = std::move(done)](SiteAccounts found) {
        const auto it = std::find_if(found.accounts.begin(), found.accounts.end(),
                                     [&](const SiteAccount& a) { return a.username == username; });
        if (it == found.accounts.end() || it->password.empty()) {
          const SecretStoreProblem problem =
              found.problem != SecretStoreProblem::kNone ? found.problem : SecretStoreProblem::kFailed;
          done(std::nullopt, problem);
          return;
        }
        done(it->password, SecretStoreProblem::kNone);
      });
}

void SitePasswords::Remove(const std::string& origin, const std::string& username, TaskScope& scope,
                           std::function<void(SecretStoreProblem)> done) {
  if (store_ == nullptr) {
    done(SecretStoreProblem::kUnavailable);
    return;
  }
  SitePasswordStore* store = store_;
  runner_.Run<SecretStoreProblem>(
      writes_, [store, origin, username](std::stop_token stop) { return store->Remove(origin, username, stop); },
      scope.Bind(std::move(done)));
}

void SitePasswords::RemoveAll(TaskScope& scope, std::function<void(SecretStoreProblem)> done) {
  if (store_ == nullptr) {
    done(SecretStoreProblem::kUnavailable);
    return;
  }
  SitePasswordStore* store = store_;
  runner_.Run<SecretStoreProblem>(writes_, [store](std::stop_token stop) { return store->RemoveAll(stop); },
                                  scope.Bind(std::move(done)));
}

}  // namespace nuve::core
