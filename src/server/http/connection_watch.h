#pragma once
// Deadlines for whole requests. The HTTP library's own time-out measures
// silence only and starts again with every byte, so a client that sends one
// header line every few seconds, or a body one byte at a time, or reads its
// answer as slowly, would keep its connection for ever. The watch knows
// what each connection is doing and since when; a sweeper thread shuts the
// socket of one that overruns its phase, and the library then closes it as
// it closes any connection whose client went away.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace nuve::server {

class ConnectionWatch {
 public:
  enum class Phase : int {
    kFresh,      // accepted; the first request's headers are due
    kIdle,       // kept alive between requests
    kHeaders,    // the request line came; the headers are due
    kBody,       // the headers came; the body is due
    kWorking,    // the service works on the answer: no deadline here
    kReplying,   // the answer is being sent
    kClosing,    // its socket was shut down
  };

  struct Limits {
    std::chrono::milliseconds fresh{10'000};
    // Silence on a kept-alive connection ends it after 30 s (the library's
    // idle time-out); this bounds a request line sent a byte at a time.
    std::chrono::milliseconds idle{40'000};
    std::chrono::milliseconds headers{10'000};
    std::chrono::milliseconds body{30'000};
    std::chrono::milliseconds reply{30'000};
  };

  // One connection; it belongs to the watch from Add to Remove.
  class Entry {
   public:
    // Marks the connection's new phase, on its own thread.
    void Enter(Phase phase);
    Phase phase() const { return phase_.load(); }

   private:
    friend class ConnectionWatch;
    explicit Entry(int fd);
    const int fd_;
    // Written since first, then phase; read in the other order, so a
    // sweeper never pairs a new phase with an older start.
    std::atomic<std::int64_t> since_ms_;
    std::atomic<Phase> phase_{Phase::kFresh};
  };

  // `sweep_every` = 0 runs no sweeper (tests call Sweep themselves).
  explicit ConnectionWatch(Limits limits, std::chrono::milliseconds sweep_every = std::chrono::milliseconds(250));
  ~ConnectionWatch();
  ConnectionWatch(const ConnectionWatch&) = delete;
  ConnectionWatch& operator=(const ConnectionWatch&) = delete;

  // A connection was accepted on socket `fd`. When `limit` connections are
  // open already its socket is shut down at once: the check before accept
  // runs on several threads and can let a few more through.
  Entry* Add(int fd, std::size_t limit = static_cast<std::size_t>(-1));
  // The connection is being closed; its socket is still open.
  void Remove(Entry* entry);
  // How many connections are open.
  std::size_t Count() const { return count_.load(); }

  // Shuts the sockets of connections that overran their phase as of now;
  // returns how many.
  std::size_t Sweep();

 private:
  std::chrono::milliseconds LimitOf(Phase phase) const;
  void Loop(std::chrono::milliseconds every);

  const Limits limits_;
  mutable std::mutex mutex_;
  std::unordered_set<Entry*> entries_;
  std::atomic<std::size_t> count_{0};
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread sweeper_;
};

// Milliseconds of a monotonic clock.
std::int64_t MonotonicMs();

}  // namespace nuve::server
