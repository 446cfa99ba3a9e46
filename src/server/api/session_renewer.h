#pragma once
// Renews sessions. Every request that carries a token renews its session,
// and most of the service's traffic is the browsers' keep-alives, so a
// renewal is a read, and writes only when the session was last marked used
// a minute ago or more (a tenth of the session's life when that is
// shorter). The writes go in batches: when many arrive together, the first
// caller commits the renewals of all that are waiting in one transaction
// (group commit) and the others take their answer from it. Each caller is
// served in the order it came, and no caller ever waits for more than one
// transaction in progress plus its own. A write that fails (a full disk)
// does not end a session the read found alive.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "server/store/store.h"

namespace nuve::server {

class SessionRenewer {
 public:
  explicit SessionRenewer(Store& store) : store_(store) {}

  // The session's user, the session now counted as used at `now`; nullopt
  // when it was not used since `valid_since`. Throws StoreError when the
  // database cannot be read.
  std::optional<std::int64_t> Renew(const std::string& token_digest, std::int64_t now, std::int64_t valid_since);

 private:
  struct Pending;
  std::optional<std::int64_t> Write(const std::string& token_digest, std::int64_t now, std::int64_t valid_since);

  Store& store_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::vector<Pending*> waiting_;
  bool committing_ = false;
};

}  // namespace nuve::server
