#include "core/util/duration_formatter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <thread>

namespace nuve::core {
namespace {

TEST(FormatDuration, LadderOfUnits) {
  const struct {
    std::int64_t ms;
    const char* text;
  } cases[] = {
      {0, "0 毫秒"},           {999, "999 毫秒"},      {1000, "1 秒"},
      {1500, "1.5 秒"},        {1234, "1.23 秒"},      {59999, "60 秒"},
      {61000, "1.02 分"},      {90000, "1.5 分"},      {5400000, "1.5 时"},
      {86400000, "1 天"},      {2592000000, "1 月"},   {31104000000, "1 年"},
      {311040000000, "10 年"}, {-5, "-5 毫秒"},        {-100000, "-100000 毫秒"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDuration(c.ms), c.text) << c.ms;
  EXPECT_EQ(FormatDuration(std::numeric_limits<std::int64_t>::max()), "296533308.8 年");
  EXPECT_EQ(FormatDuration(std::numeric_limits<std::int64_t>::min()),
            "-9223372036854775808 毫秒");
}

TEST(DurationFormatter, ElapsedRestartsUnlessKeptRunning) {
  DurationFormatter watch;
  watch.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const std::string kept = watch.Elapsed("步骤", true);
  ASSERT_GE(kept.size(), std::string(" 毫秒 步骤").size());
  EXPECT_EQ(kept.substr(kept.size() - std::string(" 毫秒 步骤").size()), " 毫秒 步骤");
  EXPECT_GE(std::stoi(kept), 30);

  // Still running from the same start, then restarted by this reading.
  const std::string second = watch.Elapsed();
  EXPECT_GE(std::stoi(second), 30);
  EXPECT_EQ(second.back(), ' ');
  EXPECT_LT(std::stoi(watch.Elapsed()), 30);

  // Before any Start the reading counts from the clock's origin and is
  // never negative.
  DurationFormatter fresh;
  EXPECT_NE(fresh.Elapsed().front(), '-');
}

}  // namespace
}  // namespace nuve::core
