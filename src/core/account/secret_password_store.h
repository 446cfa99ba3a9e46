#pragma once
// The desktop's secret store through libsecret: the Secret Service of GNOME
// Keyring or KWallet on the session bus. Each password is an item of the
// schema "org.nuve.Browser.RememberedPassword", found by the path of the
// login.ini it belongs to, in the default collection. When the session names
// no bus (no DBUS_SESSION_BUS_ADDRESS, no $XDG_RUNTIME_DIR/bus) or there is
// no Secret Service on it, every call says the store cannot be reached and
// the caller keeps the password in login.ini instead.

#include <libsecret/secret.h>

#include <string>

#include "core/account/password_store.h"

namespace nuve::core {

class SecretPasswordStore : public PasswordStore {
 public:
  // The remembered password's schema and item label.
  SecretPasswordStore();
  // Another kind of secret (the favourites sync's data key): its own schema
  // name, key attribute and the label the desktop's keyring shows, with the
  // account after it.
  SecretPasswordStore(std::string schema_name, std::string key_attribute, std::string label);
  // The schema points into the object's own texts.
  SecretPasswordStore(const SecretPasswordStore&) = delete;
  SecretPasswordStore& operator=(const SecretPasswordStore&) = delete;

  std::optional<std::string> Lookup(const std::string& key, std::stop_token stop = {}) override;
  bool Store(const std::string& key, const std::string& account, const std::string& password,
             std::stop_token stop = {}) override;
  bool Clear(const std::string& key, std::stop_token stop = {}) override;

 private:
  std::string schema_name_;
  std::string key_attribute_;
  std::string label_;
  SecretSchema schema_{};
};

}  // namespace nuve::core
