#pragma once
// A fixed set of threads working off a bounded queue of jobs. Past its bound
// a job is refused at once, so the caller answers "busy" instead of letting
// the wait of everyone behind it grow without end.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nuve::server {

class WorkQueue {
 public:
  // `capacity` jobs wait at most, besides the `threads` running ones. A
  // positive `nice` lowers the threads' priority, so that their work yields
  // the processor to quick requests.
  WorkQueue(std::string name, unsigned threads, std::size_t capacity, int nice = 0);
  // Stops, after the queued jobs have run.
  ~WorkQueue();
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // False when the queue is full or stopping: the job does not run.
  bool Submit(std::function<void()> job);
  // Refuses new jobs, lets the queued ones run and joins the threads.
  void Stop();

  unsigned threads() const { return static_cast<unsigned>(threads_.size()); }
  std::size_t capacity() const { return capacity_; }

 private:
  void Work(int nice);

  const std::string name_;
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace nuve::server
