#pragma once
// Where saved site passwords live: the desktop's secret store
// (secret_site_password_store.h), one item per site and username. Calls
// block, possibly for long (the desktop may ask the user to unlock the
// keyring): run them off the user-interface thread. A stop request on
// `stop` abandons a call.

#include <stop_token>
#include <string>
#include <vector>

namespace nuve::core {

struct SiteAccount {
  std::string origin;    // as SiteOriginOf gives it
  std::string username;  // "" for a form without a username field
  std::string password;  // "" when it was not read (listings, a locked keyring)
};

enum class SecretStoreProblem {
  kNone,
  kUnavailable,  // no secret store on the session, or it went away
  kLocked,       // the keyring is locked and stayed locked (the user refused to unlock it)
  kFailed,       // any other failure, or the call was stopped
};

struct SiteAccounts {
  SecretStoreProblem problem = SecretStoreProblem::kNone;
  std::vector<SiteAccount> accounts;
};

// Whether a call that finds accounts may ask the desktop to unlock a
// locked keyring.
enum class UnlockPolicy { kDoNotAsk, kAsk };

class SitePasswordStore {
 public:
  virtual ~SitePasswordStore() = default;

  // The accounts saved for exactly `origin`, with their passwords, sorted by
  // username. Passwords that a locked keyring keeps back come back "" and
  // the problem is then kLocked.
  virtual SiteAccounts Find(const std::string& origin, UnlockPolicy unlock, std::stop_token stop) = 0;
  // Every account saved, without passwords, sorted by origin and username.
  virtual SiteAccounts List(std::stop_token stop) = 0;
  // Saves `account`, replacing the password saved for its origin and
  // username. A locked keyring is asked to be unlocked first.
  virtual SecretStoreProblem Save(const SiteAccount& account, std::stop_token stop) = 0;
  // Forgets one account; forgetting one that is not saved is no problem.
  virtual SecretStoreProblem Remove(const std::string& origin, const std::string& username,
                                    std::stop_token stop) = 0;
  // Forgets every saved site password (nothing else of the keyring).
  virtual SecretStoreProblem RemoveAll(std::stop_token stop) = 0;
};

}  // namespace nuve::core
