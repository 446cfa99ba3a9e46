#pragma once
// Where a remembered password can be kept outside login.ini: the desktop's
// secret store (see secret_password_store.h). Calls block, possibly for a
// long time (the store may ask the user to unlock it): run them off the
// user-interface thread. A stop request on `stop` abandons a call.

#include <optional>
#include <stop_token>
#include <string>

namespace nuve::core {

class PasswordStore {
 public:
  virtual ~PasswordStore() = default;

  // The password kept under `key`: "" when none is kept, nullopt when the
  // store cannot be reached.
  virtual std::optional<std::string> Lookup(const std::string& key, std::stop_token stop = {}) = 0;
  // Keeps `password` under `key` (replacing one kept before); `account`
  // names it for the user. False when the store cannot be reached.
  virtual bool Store(const std::string& key, const std::string& account, const std::string& password,
                     std::stop_token stop = {}) = 0;
  // Forgets the password kept under `key`. False when the store cannot be
  // reached.
  virtual bool Clear(const std::string& key, std::stop_token stop = {}) = 0;
};

}  // namespace nuve::core
