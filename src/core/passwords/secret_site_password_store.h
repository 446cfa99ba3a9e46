#pragma once
// Saved site passwords in the desktop's secret store through libsecret (the
// Secret Service of GNOME Keyring or KWallet on the session bus). Each
// account is an item of the schema "org.nuve.Browser.SitePassword" whose
// attributes are the origin and the username and whose secret is the
// password; nothing of it is ever written to a file of NUVE's. A locked
// keyring is asked to unlock (the desktop shows its own prompt); when the
// secret service goes away, the next call connects afresh.

#include "core/passwords/site_password_store.h"

namespace nuve::core {

class SecretSitePasswordStore : public SitePasswordStore {
 public:
  SiteAccounts Find(const std::string& origin, UnlockPolicy unlock, std::stop_token stop) override;
  SiteAccounts List(std::stop_token stop) override;
  SecretStoreProblem Save(const SiteAccount& account, std::stop_token stop) override;
  SecretStoreProblem Remove(const std::string& origin, const std::string& username, std::stop_token stop) override;
  SecretStoreProblem RemoveAll(std::stop_token stop) override;
};

}  // namespace nuve::core
