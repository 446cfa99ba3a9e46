#include "server/api/session_renewer.h"

#include <algorithm>
#include <exception>

#include "server/security/security_policy.h"
#include "server/server_log.h"
#include "server/store/store_error.h"

namespace nuve::server {

struct SessionRenewer::Pending {
  const std::string& digest;
  std::int64_t now;
  std::int64_t valid_since;
  std::optional<std::int64_t> user;
  std::exception_ptr error;
  bool done = false;
};

std::optional<std::int64_t> SessionRenewer::Renew(const std::string& token_digest, std::int64_t now,
                                                  std::int64_t valid_since) {
  const auto seen = store_.Read([&](Tx& tx) { return tx.FindSession(token_digest); });
  if (!seen || seen->last_seen < valid_since) return std::nullopt;
  const std::int64_t renew_every = std::clamp<std::int64_t>((now - valid_since) / 10, 1, kSessionRenewEveryMs);
  if (now - seen->last_seen < renew_every) return seen->user_id;
  try {
    return Write(token_digest, now, valid_since);
  } catch (const StoreError& e) {
    // The session is alive; only its renewal is lost, which shortens it.
    LogError(std::string("session renewal: ") + e.what());
    return seen->user_id;
  }
}

std::optional<std::int64_t> SessionRenewer::Write(const std::string& token_digest, std::int64_t now,
                                                  std::int64_t valid_since) {
  Pending mine{token_digest, now, valid_since, std::nullopt, nullptr, false};
  std::unique_lock lock(mutex_);
  waiting_.push_back(&mine);
  while (!mine.done) {
    if (committing_) {
      done_.wait(lock);
      continue;
    }
    // This caller commits for everyone waiting, itself among them.
    committing_ = true;
    std::vector<Pending*> batch;
    batch.swap(waiting_);
    lock.unlock();
    try {
      store_.Touch([&](Tx& tx) {
        for (Pending* p : batch) p->user = tx.TouchSession(p->digest, p->now, p->valid_since);
      });
    } catch (...) {
      for (Pending* p : batch) p->error = std::current_exception();
    }
    lock.lock();
    for (Pending* p : batch) p->done = true;
    committing_ = false;
    done_.notify_all();
  }
  if (mine.error) std::rethrow_exception(mine.error);
  return mine.user;
}

}  // namespace nuve::server
