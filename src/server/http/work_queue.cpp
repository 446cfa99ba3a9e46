#include "server/http/work_queue.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

#include "server/server_log.h"

namespace nuve::server {

WorkQueue::WorkQueue(std::string name, unsigned threads, std::size_t capacity, int nice)
    : name_(std::move(name)), capacity_(capacity) {
  threads = std::max(1u, threads);
  threads_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this, nice] { Work(nice); });
}

WorkQueue::~WorkQueue() { Stop(); }

bool WorkQueue::Submit(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || jobs_.size() >= capacity_) return false;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
  return true;
}

void WorkQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && threads_.empty()) return;
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
  threads_.clear();
}

void WorkQueue::Work(int nice) {
  // Linux gives every thread its own nice value.
  if (nice > 0) setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice);
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping, and nothing left to run
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    try {
      job();
    } catch (const std::exception& e) {
      LogError(name_ + ": " + e.what());
    } catch (...) {
      LogError(name_ + ": unknown failure");
    }
    lock.lock();
  }
}

}  // namespace nuve::server
