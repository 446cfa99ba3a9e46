#pragma once
// The desktop's secret store through libsecret: the Secret Service of GNOME
// Keyring or KWallet on the session bus. Each password is an item of the
// schema "org.nuve.Browser.RememberedPassword", found by the path of the
// login.ini it belongs to, in the default collection. When the session names
// no bus (no DBUS_SESSION_BUS_ADDRESS, no $XDG_RUNTIME_DIR/bus) or there is
// no Secret Service on it, every call says the store cannot be reached and
// the caller keeps the password in login.ini instead.

#include "core/account/password_store.h"

namespace nuve::core {

class SecretPasswordStore : public PasswordStore {
 public:
  std::optional<std::string> Lookup(const std::string& key, std::stop_token stop = {}) override;
  bool Store(const std::string& key, const std::string& account, const std::string& password,
             std::stop_token stop = {}) override;
  bool Clear(const std::string& key, std::stop_token stop = {}) override;
};

}  // namespace nuve::core
