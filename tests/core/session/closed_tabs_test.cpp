#include "core/session/closed_tabs.h"

#include <gtest/gtest.h>

#include <string>

namespace nuve::core {
namespace {

TEST(ClosedTabsTest, TheLatestComeBackFirstAndOnlyTwentyAreKept) {
  ClosedTabs closed;
  EXPECT_FALSE(closed.Pop().has_value());
  for (int i = 0; i < 1000; ++i) closed.Push({{"http://t/" + std::to_string(i), "T", "state"}, i % 7});
  EXPECT_EQ(closed.size(), kMaxClosedTabs);
  EXPECT_EQ(closed.tabs().back().tab.uri, "http://t/980") << "the oldest kept";
  const auto latest = closed.Pop();
  ASSERT_TRUE(latest.has_value());
  EXPECT_EQ(latest->tab.uri, "http://t/999");
  EXPECT_EQ(latest->index, 999 % 7);
  EXPECT_EQ(closed.Pop()->tab.uri, "http://t/998");
  EXPECT_EQ(closed.size(), kMaxClosedTabs - 2);
}

}  // namespace
}  // namespace nuve::core
