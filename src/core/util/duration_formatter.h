#pragma once
// A stopwatch that renders an elapsed time as a short Chinese text with one
// unit ("1.5 秒", "2 分", "1 年").

#include <atomic>
#include <cstdint>
#include <string>

namespace nuve::core {

// `milliseconds` in the largest unit (毫秒, 秒, 分, 时, 天, 月 of 30 days,
// 年 of 12 months) in which the value is not below one, rounded to two
// decimal places and written without trailing zeros: 1500 gives "1.5 秒".
// A negative value stays in milliseconds.
std::string FormatDuration(std::int64_t milliseconds);

class DurationFormatter {
 public:
  DurationFormatter() = default;
  DurationFormatter(const DurationFormatter& other) : start_ms_(other.start_ms_.load()) {}
  DurationFormatter& operator=(const DurationFormatter& other) {
    start_ms_.store(other.start_ms_.load());
    return *this;
  }

  // Takes the current reading of the monotonic clock as the start.
  void Start();
  // The time since the start, formatted, then " " and `label`. Unless
  // `keep_running`, the stopwatch restarts, so consecutive readings measure
  // consecutive intervals. Before the first Start the start is the clock's
  // origin (system start).
  std::string Elapsed(const std::string& label = "", bool keep_running = false);

 private:
  static std::int64_t NowMs();

  // Milliseconds on a 64-bit monotonic clock: it never wraps, so a reading is
  // never negative however long the machine has been up.
  std::atomic<std::int64_t> start_ms_{0};
};

}  // namespace nuve::core
