#pragma once
// A bounded set of open connections shared by the request threads. A thread
// leases one for a transaction and gives it back; when all are out, it waits
// (until a deadline, when it has one). A connection found unusable is
// dropped and a new one opened next time.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "server/store/store_error.h"

namespace nuve::server {

template <class Connection>
class ConnectionPool {
 public:
  // Opens a connection; throws StoreError when it cannot.
  using Factory = std::function<std::unique_ptr<Connection>()>;

  class Lease {
   public:
    Lease(ConnectionPool* pool, std::unique_ptr<Connection> connection, bool reused)
        : pool_(pool), connection_(std::move(connection)), reused_(reused) {}
    Lease(Lease&& other) noexcept
        : pool_(std::exchange(other.pool_, nullptr)), connection_(std::move(other.connection_)),
          reused_(other.reused_) {}
    Lease& operator=(Lease&&) = delete;
    ~Lease() {
      if (pool_ != nullptr) pool_->Return(std::move(connection_));
    }
    Connection& operator*() const { return *connection_; }
    Connection* operator->() const { return connection_.get(); }
    // Whether the connection served an earlier lease (and so may have gone
    // stale while it waited).
    bool reused() const { return reused_; }

   private:
    ConnectionPool* pool_;
    std::unique_ptr<Connection> connection_;
    bool reused_;
  };

  ConnectionPool(Factory factory, std::size_t max_size) : factory_(std::move(factory)), max_size_(max_size) {}

  Lease Acquire() { return Acquire(std::chrono::steady_clock::time_point::max()); }

  // Throws StoreError (kBusy) when no connection is free by `deadline`.
  Lease Acquire(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    const auto free = [this] { return !idle_.empty() || open_ < max_size_; };
    if (deadline == std::chrono::steady_clock::time_point::max()) {
      returned_.wait(lock, free);
    } else if (!returned_.wait_until(lock, deadline, free)) {
      throw StoreError(StoreErrorKind::kBusy, "every database connection is in use");
    }
    if (!idle_.empty()) {
      std::unique_ptr<Connection> connection = std::move(idle_.back());
      idle_.pop_back();
      return Lease(this, std::move(connection), true);
    }
    ++open_;
    lock.unlock();
    try {
      return Lease(this, factory_(), false);
    } catch (...) {
      lock.lock();
      --open_;
      returned_.notify_one();
      throw;
    }
  }

 private:
  void Return(std::unique_ptr<Connection> connection) {
    std::lock_guard lock(mutex_);
    if (connection && connection->Usable()) {
      idle_.push_back(std::move(connection));
    } else {
      --open_;
    }
    returned_.notify_one();
  }

  const Factory factory_;
  const std::size_t max_size_;
  std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<std::unique_ptr<Connection>> idle_;
  std::size_t open_ = 0;
};

}  // namespace nuve::server
