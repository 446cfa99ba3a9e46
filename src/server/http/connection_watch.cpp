#include "server/http/connection_watch.h"

#include <sys/socket.h>

namespace nuve::server {

std::int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

ConnectionWatch::Entry::Entry(int fd) : fd_(fd), since_ms_(MonotonicMs()) {}

void ConnectionWatch::Entry::Enter(Phase phase) {
  if (phase_.load() == Phase::kClosing) return;
  since_ms_.store(MonotonicMs());
  phase_.store(phase);
}

ConnectionWatch::ConnectionWatch(Limits limits, std::chrono::milliseconds sweep_every) : limits_(limits) {
  if (sweep_every.count() > 0) sweeper_ = std::thread([this, sweep_every] { Loop(sweep_every); });
}

ConnectionWatch::~ConnectionWatch() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (sweeper_.joinable()) sweeper_.join();
  for (Entry* e : entries_) delete e;
}

ConnectionWatch::Entry* ConnectionWatch::Add(int fd, std::size_t limit) {
  auto* entry = new Entry(fd);
  std::lock_guard lock(mutex_);
  if (count_ >= limit) {
    entry->phase_.store(Phase::kClosing);
    shutdown(fd, SHUT_RDWR);
  }
  entries_.insert(entry);
  ++count_;
  return entry;
}

void ConnectionWatch::Remove(Entry* entry) {
  if (entry == nullptr) return;
  {
    // Under the lock: the sweeper never shuts a socket that was handed back.
    std::lock_guard lock(mutex_);
    if (entries_.erase(entry) == 0) return;
    --count_;
  }
  delete entry;
}

std::chrono::milliseconds ConnectionWatch::LimitOf(Phase phase) const {
  switch (phase) {
    case Phase::kFresh: return limits_.fresh;
    case Phase::kIdle: return limits_.idle;
    case Phase::kHeaders: return limits_.headers;
    case Phase::kBody: return limits_.body;
    case Phase::kReplying: return limits_.reply;
    case Phase::kWorking:
    case Phase::kClosing: break;
  }
  return std::chrono::milliseconds::max();
}

std::size_t ConnectionWatch::Sweep() {
  const std::int64_t now = MonotonicMs();
  std::size_t closed = 0;
  std::lock_guard lock(mutex_);
  for (Entry* e : entries_) {
    const Phase phase = e->phase_.load();
    const std::int64_t since = e->since_ms_.load();
    const auto limit = LimitOf(phase);
    if (limit == std::chrono::milliseconds::max() || now - since <= limit.count()) continue;
    e->phase_.store(Phase::kClosing);
    shutdown(e->fd_, SHUT_RDWR);
    ++closed;
  }
  return closed;
}

void ConnectionWatch::Loop(std::chrono::milliseconds every) {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, every, [this] { return stopping_; })) {
    lock.unlock();
    Sweep();
    lock.lock();
  }
}

}  // namespace nuve::server
