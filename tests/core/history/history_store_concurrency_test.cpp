// Visits recorded and completions asked from several threads at once: the
// store serialises everything on its worker.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/history/history_store.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

TEST(HistoryStoreConcurrency, ManyThreadsRecordAndCompleteAtOnce) {
  test::TempHome home(false);
  std::atomic<int> answers{0};
  {
    HistoryStore store(home.path() / "history.sqlite");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < 50; ++i) {
          store.RecordVisit("http://t" + std::to_string(t) + ".test/" + std::to_string(i % 10), "T", 1000 + i);
          store.Complete("t", 8, [&](HistoryStore::Entries) { ++answers; });
        }
      });
    }
    for (auto& thread : threads) thread.join();
    store.Flush();
    EXPECT_EQ(answers.load(), 200);
    std::atomic<size_t> total{0};
    store.Search("", 1000, [&](HistoryStore::Entries entries) { total = entries.size(); });
    store.Flush();
    EXPECT_EQ(total.load(), 40u);
  }
}

}  // namespace
}  // namespace nuve::core
