#include "core/util/task_scope.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace nuve::core {
namespace {

// Whatever is bound to a scope runs while the scope lives and never after
// it is cancelled, renewed or gone; work asked to stop hears it from the
// scope's stop token.
TEST(TaskScopeTest, BoundCallbacksRunOnlyWhileTheScopeThatBoundThemLives) {
  int runs = 0;
  std::function<void(int)> late;
  std::stop_token stop;
  {
    TaskScope scope;
    auto bound = scope.Bind([&](int n) { runs += n; });
    bound(1);
    EXPECT_EQ(runs, 1);

    // Renewing drops what was bound before and its token stops; what is
    // bound afterwards runs.
    std::stop_token before = scope.stop_token();
    scope.Renew();
    bound(10);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(before.stop_requested());
    EXPECT_FALSE(scope.stop_token().stop_requested());
    auto renewed = scope.Bind([&](int n) { runs += n; });
    renewed(100);
    EXPECT_EQ(runs, 101);

    late = renewed;  // a callback that outlives its owner, as an idle source's does
    stop = scope.stop_token();
  }
  late(1000);
  EXPECT_EQ(runs, 101) << "the owner is gone: nothing runs";
  EXPECT_TRUE(stop.stop_requested());

  TaskScope cancelled;
  auto bound = cancelled.Bind([&] { ++runs; });
  cancelled.Cancel();
  bound();
  EXPECT_EQ(runs, 101);
}

}  // namespace
}  // namespace nuve::core
