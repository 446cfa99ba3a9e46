#include "core/sync/favourites_sync_service.h"

#include <sodium.h>

#include <vector>

#include "core/app/log.h"

namespace nuve::core {
namespace {

void Wipe(std::string& secret) {
  if (!secret.empty()) sodium_memzero(secret.data(), secret.size());
  secret.clear();
}

// Results the user hears about at once, not only in the personal centre.
bool Alarming(SyncResult result) {
  return result == SyncResult::kUndecryptable || result == SyncResult::kReplayed ||
         result == SyncResult::kBadReply || result == SyncResult::kKeyReset || result == SyncResult::kKeyUnreadable;
}

}  // namespace

FavouritesSyncService::Subscription& FavouritesSyncService::Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    Reset();
    registry_ = std::move(other.registry_);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

void FavouritesSyncService::Subscription::Reset() {
  if (auto registry = registry_.lock()) {
    std::lock_guard lock(registry->mutex);
    registry->listeners.erase(id_);
  }
  registry_.reset();
  id_ = 0;
}

FavouritesSyncService::FavouritesSyncService(TaskRunner& runner, UiPoster& poster,
                                             std::unique_ptr<FavouritesSync> engine, SyncTimings timings)
    : runner_(runner),
      poster_(poster),
      engine_(std::move(engine)),
      timings_(timings),
      retry_delay_(timings.first_retry),
      registry_(std::make_shared<Subscription::Registry>()),
      timer_([this](std::stop_token stop) { TimerLoop(stop); }) {}

FavouritesSyncService::~FavouritesSyncService() {
  *alive_ = false;
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  timer_.request_stop();
  wake_.notify_all();
  if (timer_.joinable()) timer_.join();
  scope_.Cancel();
}

FavouritesSyncService::Subscription FavouritesSyncService::Subscribe(Listener listener) {
  std::lock_guard lock(registry_->mutex);
  const int id = registry_->next_id++;
  registry_->listeners.emplace(id, std::move(listener));
  return Subscription(registry_, id);
}

SyncStatus FavouritesSyncService::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

bool FavouritesSyncService::unlocked() const {
  std::lock_guard lock(mutex_);
  return unlocked_;
}

void FavouritesSyncService::Enqueue(Job job) {
  {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    // One sync waiting is enough.
    if (job.kind == JobKind::kSync) {
      for (const Job& queued : queue_) {
        if (queued.kind == JobKind::kSync) return;
      }
    }
    queue_.push_back(std::move(job));
    kicked_ = true;
  }
  wake_.notify_all();
}

void FavouritesSyncService::LogIn(std::string account, std::string password) {
  {
    std::lock_guard lock(mutex_);
    for (Job& job : queue_) Wipe(job.secret);
    queue_.clear();  // whatever waited belonged to the login before
    if (pending_unlock_) Wipe(pending_unlock_->secret);
    pending_unlock_.reset();
    status_.last_result = SyncResult::kLocked;  // a new login hears everything anew
  }
  Enqueue({JobKind::kUnlock, std::move(account), std::move(password)});
}

void FavouritesSyncService::LogOut() {
  {
    std::lock_guard lock(mutex_);
    if (pending_unlock_) Wipe(pending_unlock_->secret);
    pending_unlock_.reset();
  }
  Enqueue({JobKind::kFinal, {}, {}});
}

void FavouritesSyncService::SyncNow() { Enqueue({JobKind::kSync, {}, {}}); }

void FavouritesSyncService::StartFresh() { Enqueue({JobKind::kFresh, {}, {}}); }

void FavouritesSyncService::DeclineFreshStart() {
  engine_->Lock();
  {
    std::lock_guard lock(mutex_);
    unlocked_ = false;
    status_.state = SyncStatus::State::kOff;
    kicked_ = true;
  }
  Publish();
}

void FavouritesSyncService::PasswordChanged(const std::string& account, std::string new_password) {
  if (engine_->account() != account) {
    Wipe(new_password);
    return;
  }
  Enqueue({JobKind::kRewrap, account, std::move(new_password)});
}

void FavouritesSyncService::LoadLastSynced() {
  {
    std::lock_guard lock(mutex_);
    if (status_.last_synced_ms != 0) return;
  }
  Enqueue({JobKind::kLoadTime, {}, {}});
}

void FavouritesSyncService::NotifyLocalChange() {
  {
    std::lock_guard lock(mutex_);
    if (!unlocked_ || finished_) return;
    const Clock::time_point now = Clock::now();
    if (!first_change_) first_change_ = now;
    change_due_ = std::min(now + timings_.after_change, *first_change_ + timings_.longest_wait);
    kicked_ = true;
  }
  wake_.notify_all();
}

void FavouritesSyncService::TimerLoop(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    kicked_ = false;
    if (!busy_ && !queue_.empty()) {
      Job job = std::move(queue_.front());
      queue_.pop_front();
      StartLocked(std::move(job));
      continue;
    }
    std::optional<Clock::time_point> due;
    for (const auto& d : {change_due_, periodic_due_, retry_due_}) {
      if (d && (!due || *d < *due)) due = d;
    }
    const bool can_run = !busy_ && (unlocked_ || pending_unlock_);
    if (can_run && due && *due <= Clock::now()) {
      if (pending_unlock_) {
        Job unlock = std::move(*pending_unlock_);
        pending_unlock_.reset();
        StartLocked(std::move(unlock));
      } else {
        StartLocked({JobKind::kSync, {}, {}});
      }
      continue;
    }
    const auto woken = [&] { return kicked_ || finished_; };
    if (due && can_run) {
      wake_.wait_until(lock, stop, *due, woken);
    } else {
      wake_.wait(lock, stop, woken);
    }
    if (finished_ && queue_.empty()) break;
  }
}

void FavouritesSyncService::StartLocked(Job job) {
  busy_ = true;
  if (job.kind == JobKind::kSync || job.kind == JobKind::kUnlock || job.kind == JobKind::kFresh) {
    change_due_.reset();
    first_change_.reset();
    periodic_due_.reset();
    retry_due_.reset();
  }
  if (job.kind != JobKind::kLoadTime) status_.state = SyncStatus::State::kWorking;
  Publish();
  runner_.Run(scope_, [this, job = std::move(job)](std::stop_token stop) mutable { Work(std::move(job), stop); });
}

void FavouritesSyncService::Work(Job job, std::stop_token stop) {
  SyncOutcome outcome;
  switch (job.kind) {
    case JobKind::kUnlock:
      outcome = engine_->Unlock(job.account, job.secret, stop);
      if (outcome.result == SyncResult::kOffline) {
        // The key needs the service: the password waits with the retry.
        std::lock_guard lock(mutex_);
        if (!finished_) pending_unlock_ = job;
      }
      Wipe(job.secret);
      if (outcome.ok()) outcome = engine_->Sync(stop);
      break;
    case JobKind::kSync: outcome = engine_->Sync(stop); break;
    case JobKind::kFresh: outcome = engine_->StartFresh(stop); break;
    case JobKind::kRewrap:
      outcome = engine_->Rewrap(job.secret, stop);
      Wipe(job.secret);
      break;
    case JobKind::kFinal:
      outcome.result = SyncResult::kLocked;
      if (engine_->unlocked() && engine_->HasLocalChanges(stop)) outcome = engine_->Sync(stop);
      engine_->Lock();
      break;
    case JobKind::kLoadTime:
      outcome.result = SyncResult::kSynced;
      outcome.synced_at_ms = engine_->LastSyncedMs();
      break;
  }
  // Nothing to sync (no key yet) is no failure worth a line.
  if (!outcome.ok() && outcome.result != SyncResult::kLocked && outcome.result != SyncResult::kStopped) {
    LogWarning("favourites sync", outcome.detail.empty() ? "did not sync" : outcome.detail);
  }
  Finish(job, outcome);
}

void FavouritesSyncService::Finish(const Job& job, const SyncOutcome& outcome) {
  {
    std::lock_guard lock(mutex_);
    busy_ = false;
    unlocked_ = engine_->unlocked();
    const Clock::time_point now = Clock::now();
    if (outcome.synced_at_ms != 0) status_.last_synced_ms = outcome.synced_at_ms;
    if (job.kind == JobKind::kLoadTime) {
      // Only the time.
    } else if (job.kind == JobKind::kFinal) {
      status_.state = SyncStatus::State::kOff;
    } else {
      const SyncResult previous = status_.last_result;
      status_.last_result = outcome.result;
      status_.detail = outcome.detail;
      if (outcome.ok()) {
        status_.state = unlocked_ ? SyncStatus::State::kSynced : SyncStatus::State::kOff;
        if (job.kind != JobKind::kRewrap) status_.last_merge = outcome.merge;
        retry_delay_ = timings_.first_retry;
        periodic_due_ = now + timings_.period;
      } else if (outcome.result == SyncResult::kOffline) {
        status_.state = SyncStatus::State::kWaiting;
        retry_due_ = now + retry_delay_;
        retry_delay_ = std::min(retry_delay_ * 2, timings_.period);
      } else if (outcome.result == SyncResult::kKeyReset || outcome.result == SyncResult::kKeyUnreadable) {
        status_.state = SyncStatus::State::kDecision;
      } else if (outcome.result == SyncResult::kStopped) {
        status_.state = unlocked_ ? SyncStatus::State::kWaiting : SyncStatus::State::kOff;
      } else {
        status_.state = unlocked_ ? SyncStatus::State::kFailed : SyncStatus::State::kOff;
        // A failure of the folder or the service's content is looked at
        // again at the next period; a new change tries sooner.
        if (unlocked_) periodic_due_ = now + timings_.period;
      }
      // Told once, not again at every retry of the same failure.
      if (Alarming(outcome.result) && outcome.result != previous) ++status_.alert_serial;
    }
  }
  {
    std::lock_guard lock(mutex_);
    kicked_ = true;
  }
  idle_.notify_all();
  wake_.notify_all();
  Publish();
}

void FavouritesSyncService::Publish() {
  poster_.Post([alive = alive_, registry = registry_] {
    if (!*alive) return;
    std::vector<Listener> listeners;
    {
      std::lock_guard lock(registry->mutex);
      for (const auto& [id, listener] : registry->listeners) listeners.push_back(listener);
    }
    for (const Listener& listener : listeners) listener();
  });
}

void FavouritesSyncService::FinishBeforeExit(std::chrono::milliseconds limit) {
  if (unlocked()) LogOut();
  const auto deadline = Clock::now() + limit;
  {
    std::unique_lock lock(mutex_);
    idle_.wait_until(lock, deadline, [&] { return !busy_ && queue_.empty(); });
    finished_ = true;
    queue_.clear();
    if (pending_unlock_) Wipe(pending_unlock_->secret);
    pending_unlock_.reset();
  }
  timer_.request_stop();
  wake_.notify_all();
  if (timer_.joinable()) timer_.join();
  // A step still running is asked to stop; the runner joins it.
  scope_.Cancel();
}

}  // namespace nuve::core
