// Long runs of what a user does all day: account requests one after another
// and tabs opened and closed. The browser's own process must not grow: its
// resident memory at the end stays within 10% of what it was after the
// first tenth of the run. The figures are printed for the record.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "account_window_test.h"
#include "core/account/account_requests.h"

namespace nuve::test {
namespace {

// Resident memory of this process in KiB, after handing freed heap back.
long ResidentKiB() {
  malloc_trim(0);
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void Report(const char* what, long early, long last) {
  const double ratio = static_cast<double>(last) / static_cast<double>(early);
  std::printf("soak %s: %ld KiB after the first tenth, %ld KiB at the end, ratio %.3f\n", what, early, last, ratio);
  ::testing::Test::RecordProperty(std::string(what) + "_ratio", std::to_string(ratio));
  EXPECT_LE(ratio, 1.10) << what;
}

class SoakTest : public AccountWindowTest {};

TEST_F(SoakTest, TwoThousandAccountOperationsLeaveTheMemoryWhereItWas) {
  OpenMain();
  core::AccountRequests requests(context_->tasks(), context_->main_account());
  constexpr int kOperations = 2000;
  long early = 0;
  int failed = 0;
  for (int i = 0; i < kOperations; ++i) {
    bool replied = false;
    auto on_reply = [&](core::ApiResponse reply) {
      replied = true;
      if (!reply.IsSuccess()) ++failed;
    };
    switch (i % 5) {
      case 0:
        requests.Send([](core::AccountClient& c) { return c.Login("12345678", "p&ss=1"); }, on_reply);
        break;
      case 1:
        requests.Send([](core::AccountClient& c) { return c.GetInfo(); }, on_reply);
        break;
      case 2:
        requests.Send([](core::AccountClient& c) { return c.ListAnnouncements(); }, on_reply);
        break;
      case 3:
        requests.Send([i](core::AccountClient& c) { return c.SetUserData("soak", std::to_string(i)); }, on_reply);
        break;
      default:
        requests.Send([](core::AccountClient& c) { return c.GetUserData("soak"); }, on_reply);
        break;
    }
    ASSERT_TRUE(RunUntil([&] { return replied; }, 10000)) << "operation " << i;
    service_->ClearRequests();  // the fake service keeps what it was sent
    if (i + 1 == kOperations / 10) early = ResidentKiB();
  }
  EXPECT_EQ(failed, 0);
  Report("account_operations", early, ResidentKiB());
}

TEST_F(SoakTest, TwoHundredTabsOpenedAndClosedLeaveTheMemoryWhereItWas) {
  ui::MainWindow& window = OpenMain();
  ui::TabStrip& strip = window.tab_strip();
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));
  constexpr int kCycles = 200;
  long early = 0;
  for (int i = 0; i < kCycles; ++i) {
    const std::string title = "T" + std::to_string(i);
    ui::BrowserTab& tab = strip.OpenTab(pages_->Url("/title/" + title));
    ASSERT_TRUE(WaitForTabTitle(tab, title)) << "cycle " << i;
    strip.CloseTab(tab);
    ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 1; }, 5000)) << "cycle " << i;
    RunPending();
    if (i + 1 == kCycles / 10) early = ResidentKiB();
  }
  Report("tab_cycles", early, ResidentKiB());
}

}  // namespace
}  // namespace nuve::test
