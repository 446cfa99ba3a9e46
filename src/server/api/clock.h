#pragma once
// The time the service goes by, in Unix milliseconds; tests move their own.

#include <chrono>
#include <cstdint>

namespace nuve::server {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t NowMs() const = 0;
};

class SystemClock final : public Clock {
 public:
  std::int64_t NowMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace nuve::server
