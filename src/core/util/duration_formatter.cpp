#include "core/util/duration_formatter.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <string_view>

namespace nuve::core {
namespace {

struct Rung {
  std::string_view unit;
  double limit;  // size of the next unit in this one; 0 for the last rung
};

constexpr std::array<Rung, 7> kLadder{{
    {" 毫秒", 1000},
    {" 秒", 60},
    {" 分", 60},
    {" 时", 24},
    {" 天", 30},
    {" 月", 12},
    {" 年", 0},
}};

// Shortest decimal form of `value` rounded to two places: "1.5", "2", "-3.25".
std::string RoundedText(double value) {
  char buffer[400];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::fixed, 2);
  if (error != std::errc()) return "0";
  std::string text(buffer, end);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

}  // namespace

std::string FormatDuration(std::int64_t milliseconds) {
  double value = static_cast<double>(milliseconds);
  for (const Rung& rung : kLadder) {
    if (rung.limit == 0 || value - rung.limit < -1e-7) {
      return RoundedText(value) + std::string(rung.unit);
    }
    value /= rung.limit;
  }
  return RoundedText(value) + std::string(kLadder.back().unit);
}

std::int64_t DurationFormatter::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void DurationFormatter::Start() { start_ms_.store(NowMs()); }

std::string DurationFormatter::Elapsed(const std::string& label, bool keep_running) {
  const std::int64_t now = NowMs();
  const std::int64_t elapsed = keep_running ? now - start_ms_.load() : now - start_ms_.exchange(now);
  return FormatDuration(elapsed) + " " + label;
}

}  // namespace nuve::core
