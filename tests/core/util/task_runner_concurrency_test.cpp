// The task runner hands results back to the thread that plays the
// user-interface thread, drops the results of cancelled scopes and joins its
// threads when it goes. Run under ThreadSanitizer too.
#include "core/util/task_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/queue_ui_poster.h"

namespace nuve::core {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Waits on the stop token until the work is asked to stop.
void WaitForStop(std::stop_token stop) {
  while (!stop.stop_requested()) std::this_thread::sleep_for(milliseconds(2));
}

TEST(TaskRunnerTest, ResultsArriveOnThePostingThreadOnly) {
  test::QueueUiPoster poster;
  TaskRunner runner(poster);
  TaskScope scope;
  const std::thread::id ui = std::this_thread::get_id();
  std::thread::id worker;
  std::thread::id delivered_on;
  int result = 0;
  runner.Run<int>(
      scope,
      [&](std::stop_token) {
        worker = std::this_thread::get_id();
        return 42;
      },
      [&](int value) {
        delivered_on = std::this_thread::get_id();
        result = value;
      });
  ASSERT_EQ(poster.WaitAndRun(milliseconds(5000)), 1);
  EXPECT_EQ(result, 42);
  EXPECT_EQ(delivered_on, ui);
  EXPECT_NE(worker, ui);
}

TEST(TaskRunnerTest, ACancelledScopeNeverCallsBackAndStopsItsWork) {
  test::QueueUiPoster poster;
  TaskRunner runner(poster);
  std::atomic<bool> stopped{false};
  int calls = 0;
  {
    TaskScope scope;
    runner.Run<int>(
        scope,
        [&](std::stop_token stop) {
          WaitForStop(stop);
          stopped = true;
          return 1;
        },
        [&](int) { ++calls; });
    // Finished work whose delivery is already queued is dropped as well.
    runner.Run<int>(scope, [](std::stop_token) { return 2; }, [&](int) { ++calls; });
    poster.WaitAndRun(milliseconds(2000));
    EXPECT_EQ(calls, 1) << "the quick task delivered while its scope lived";
    runner.Run<int>(scope, [](std::stop_token) { return 3; }, [&](int) { ++calls; });
    std::this_thread::sleep_for(milliseconds(50));
  }  // the owner goes away
  for (int i = 0; i < 500 && !stopped; ++i) std::this_thread::sleep_for(milliseconds(2));
  EXPECT_TRUE(stopped);
  std::this_thread::sleep_for(milliseconds(50));
  poster.RunPending();
  EXPECT_EQ(calls, 1);
  TaskScope later;
  later.Cancel();
  runner.Run<int>(later, [](std::stop_token) { return 4; }, [&](int) { ++calls; });
  std::this_thread::sleep_for(milliseconds(50));
  poster.RunPending();
  EXPECT_EQ(calls, 1) << "a cancelled scope starts nothing";
}

TEST(TaskRunnerTest, DestroyingTheRunnerStopsAndJoinsItsThreads) {
  test::QueueUiPoster poster;
  TaskScope scope;
  std::atomic<int> finished{0};
  int calls = 0;
  const auto start = Clock::now();
  {
    TaskRunner runner(poster);
    for (int i = 0; i < 3; ++i) {
      runner.Run<int>(
          scope,
          [&](std::stop_token stop) {
            WaitForStop(stop);
            ++finished;
            return 0;
          },
          [&](int) { ++calls; });
    }
    std::this_thread::sleep_for(milliseconds(20));
  }
  EXPECT_EQ(finished, 3) << "every thread ended before the runner was gone";
  EXPECT_LT(Clock::now() - start, milliseconds(2000));
  poster.RunPending();
  EXPECT_EQ(calls, 0) << "work stopped by the shutdown delivers nothing";
}

TEST(TaskRunnerTest, AThrowingTaskIsLoggedAndDeliversTheEmptyResult) {
  test::QueueUiPoster poster;
  TaskRunner runner(poster);
  TaskScope scope;
  std::string result = "untouched";
  runner.Run<std::string>(
      scope, [](std::stop_token) -> std::string { throw std::runtime_error("broken"); },
      [&](std::string value) { result = value; });
  ASSERT_EQ(poster.WaitAndRun(milliseconds(5000)), 1);
  EXPECT_EQ(result, "");
  // A callback that throws does not take the posting thread down either.
  runner.Run<int>(scope, [](std::stop_token) { return 1; }, [](int) { throw 7; });
  EXPECT_EQ(poster.WaitAndRun(milliseconds(5000)), 1);
  int after = 0;
  runner.Run<int>(scope, [](std::stop_token) { return 5; }, [&](int value) { after = value; });
  poster.WaitAndRun(milliseconds(5000));
  EXPECT_EQ(after, 5);
}

TEST(TaskRunnerTest, FinishedThreadsAreJoinedAsNewTasksStart) {
  test::QueueUiPoster poster;
  TaskRunner runner(poster);
  TaskScope scope;
  for (int i = 0; i < 20; ++i) {
    runner.Run(scope, [](std::stop_token) {});
    std::this_thread::sleep_for(milliseconds(5));
  }
  EXPECT_LE(runner.ThreadCount(), 3u);
}

}  // namespace
}  // namespace nuve::core
