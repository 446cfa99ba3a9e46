#pragma once
// Saved site passwords as the windows use them: the secret store behind a
// task runner (every store call runs on a worker and answers on the
// user-interface thread, bound to the caller's scope), the never-save list,
// and the rules that decide when a sign-in is worth offering to save.
// Everything here is called on the user-interface thread.

#include <functional>
#include <optional>
#include <string>

#include "core/passwords/never_save_list.h"
#include "core/passwords/site_password_store.h"
#include "core/util/task_runner.h"
#include "core/util/task_scope.h"

namespace nuve::core {

// Whether the sign-in `submitted` is worth asking about, given what the
// store found for its origin: not when the store could not be asked (no
// store, a failure) or holds the same username with the same password;
// otherwise yes (a new username, a changed password, or a locked keyring
// that keeps the saved password back).
bool WorthOfferingToSave(const SiteAccounts& saved, const SiteAccount& submitted);

class SitePasswords {
 public:
  // `store` may be null: no secret store, nothing is ever offered. `store`
  // and `runner` must outlive this object.
  SitePasswords(SitePasswordStore* store, NeverSaveList never_save, TaskRunner& runner);
  SitePasswords(const SitePasswords&) = delete;
  SitePasswords& operator=(const SitePasswords&) = delete;

  // Whether a sign-in on `origin` may be offered for saving at all: an
  // origin that the user has not put on the never-save list.
  bool MayOfferToSave(const std::string& origin) const;

  // Answers whether to offer saving `submitted` (WorthOfferingToSave); never
  // asks the desktop to unlock anything.
  void CheckSubmitted(SiteAccount submitted, TaskScope& scope, std::function<void(bool offer)> done);
  // The accounts to fill into a sign-in form of `origin`. A locked keyring
  // is asked to unlock until the user has refused once in this run.
  void FindForFill(const std::string& origin, TaskScope& scope, std::function<void(SiteAccounts)> done);
  // Saves `account`. The write belongs to this object, not to the caller:
  // a tab that closes at once does not stop it; only `done` is dropped.
  void Save(SiteAccount account, TaskScope& scope, std::function<void(SecretStoreProblem)> done);
  // Every saved account, without passwords.
  void List(TaskScope& scope, std::function<void(SiteAccounts)> done);
  // The password of one account; asks the desktop to unlock the keyring.
  // nullopt (and the problem) when it cannot be read or is not saved.
  void FindPassword(const std::string& origin, const std::string& username, TaskScope& scope,
                    std::function<void(std::optional<std::string>, SecretStoreProblem)> done);
  void Remove(const std::string& origin, const std::string& username, TaskScope& scope,
              std::function<void(SecretStoreProblem)> done);
  void RemoveAll(TaskScope& scope, std::function<void(SecretStoreProblem)> done);

  bool has_store() const { return store_ != nullptr; }
  const NeverSaveList& never_save() const { return never_save_; }

 private:
  SitePasswordStore* store_;
  NeverSaveList never_save_;
  TaskRunner& runner_;
  // Writes run here, so that they outlive the window that asked.
  TaskScope writes_;
  bool ask_unlock_for_fill_ = true;
};

}  // namespace nuve::core
