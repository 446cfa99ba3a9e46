#pragma once
// When the favourites sync runs, and what the windows are told about it.
// It runs at login (with the password, which unlocks the data key), 5 s
// after a change to the folder (notified by whoever watches it), every 10
// minutes, on "立即同步", at logout and at exit. While the service cannot
// be reached, changes wait and the sync tries again, after 30 s, then less
// and less often, at least every 10 minutes. Work runs on the task runner,
// one step at a time; a timer thread of its own decides when. The status
// may be read from any thread; listeners are called on the user-interface
// thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/sync/favourites_sync.h"
#include "core/util/task_runner.h"
#include "core/util/task_scope.h"
#include "core/util/ui_poster.h"

namespace nuve::core {

struct SyncTimings {
  std::chrono::milliseconds after_change{5000};
  // Changes that keep coming are synced at the latest this long after the first.
  std::chrono::milliseconds longest_wait{60000};
  std::chrono::milliseconds period{600000};
  std::chrono::milliseconds first_retry{30000};
};

struct SyncStatus {
  enum class State {
    kOff,       // not logged in with a password this run
    kWorking,   // a step runs now
    kSynced,    // the last sync succeeded
    kWaiting,   // the service cannot be reached; changes wait
    kFailed,    // the last sync failed; `last_result` says why
    kDecision,  // the stored favourites cannot be read: start afresh? (`last_result`)
  };
  State state = State::kOff;
  SyncResult last_result = SyncResult::kLocked;
  std::string detail;
  std::int64_t last_synced_ms = 0;  // 0: never
  MergeReport last_merge;
  // One more each time the user must be told at once (data that fails
  // authentication, a replayed state, an unreadable reply) or asked
  // (kDecision); windows compare it with what they showed last.
  int alert_serial = 0;
};

class FavouritesSyncService {
 public:
  using Listener = std::function<void()>;

  // `runner` and `poster` must outlive the service; call FinishBeforeExit
  // (or the destructor) before the runner goes.
  FavouritesSyncService(TaskRunner& runner, UiPoster& poster, std::unique_ptr<FavouritesSync> engine,
                        SyncTimings timings = {});
  ~FavouritesSyncService();
  FavouritesSyncService(const FavouritesSyncService&) = delete;
  FavouritesSyncService& operator=(const FavouritesSyncService&) = delete;

  // A login that succeeded with `password`: unlock, then sync.
  void LogIn(std::string account, std::string password);
  // A logout: a last sync when the folder changed, then the key is forgotten.
  void LogOut();
  // The favourites folder changed (from any thread).
  void NotifyLocalChange();
  // "立即同步".
  void SyncNow();
  // The user's answer to kDecision.
  void StartFresh();
  void DeclineFreshStart();
  // The service accepted a new password for `account`.
  void PasswordChanged(const std::string& account, std::string new_password);
  // Reads when the last sync succeeded (an earlier run's), off this thread.
  void LoadLastSynced();
  // Waits up to `limit` for the steps still to do (the logout's last sync),
  // then stops: later calls do nothing. Blocks: for the end of the program.
  void FinishBeforeExit(std::chrono::milliseconds limit);

  SyncStatus status() const;
  bool unlocked() const;

  // `listener` runs on the user-interface thread after each status change
  // until the returned handle is reset or goes.
  class [[nodiscard]] Subscription {
   public:
    Subscription() = default;
    Subscription(Subscription&& other) noexcept { *this = std::move(other); }
    Subscription& operator=(Subscription&& other) noexcept;
    ~Subscription() { Reset(); }
    void Reset();

   private:
    friend class FavouritesSyncService;
    struct Registry;
    Subscription(std::weak_ptr<Registry> registry, int id) : registry_(std::move(registry)), id_(id) {}
    std::weak_ptr<Registry> registry_;
    int id_ = 0;
  };
  Subscription Subscribe(Listener listener);

 private:
  enum class JobKind { kUnlock, kSync, kFresh, kRewrap, kFinal, kLoadTime };
  struct Job {
    JobKind kind;
    std::string account;
    std::string secret;
  };
  using Clock = std::chrono::steady_clock;

  void Enqueue(Job job);
  void TimerLoop(std::stop_token stop);
  void StartLocked(Job job);
  void Work(Job job, std::stop_token stop);
  void Finish(const Job& job, const SyncOutcome& outcome);
  void Publish();

  TaskRunner& runner_;
  UiPoster& poster_;
  std::unique_ptr<FavouritesSync> engine_;
  const SyncTimings timings_;

  mutable std::mutex mutex_;
  std::condition_variable_any wake_;
  std::condition_variable idle_;
  std::deque<Job> queue_;
  bool busy_ = false;
  bool finished_ = false;
  bool kicked_ = false;  // something changed that the timer thread must look at
  // A login whose unlock found no service: it is tried again with the retries.
  std::optional<Job> pending_unlock_;
  bool unlocked_ = false;
  std::optional<Clock::time_point> change_due_;
  std::optional<Clock::time_point> first_change_;
  std::optional<Clock::time_point> periodic_due_;
  std::optional<Clock::time_point> retry_due_;
  std::chrono::milliseconds retry_delay_;
  SyncStatus status_;

  std::shared_ptr<Subscription::Registry> registry_;
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
  TaskScope scope_;
  std::jthread timer_;  // last: it starts once everything above exists
};

struct FavouritesSyncService::Subscription::Registry {
  std::mutex mutex;
  std::map<int, Listener> listeners;
  int next_id = 1;
};

}  // namespace nuve::core
