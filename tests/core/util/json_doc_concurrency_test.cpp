#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/util/shared_json.h"

namespace nuve::core {
namespace {

// The user-interface thread and the keep-alive thread both read replies
// through the shared document. Each query loads the buffers and walks them,
// so an overlap would mix one thread's text into the other's answer (and
// ThreadSanitizer would report the race).
TEST(SharedJsonConcurrency, TwoThreadsQueryWithoutOverlapping) {
  constexpr int kRounds = 2000;
  std::atomic<int> wrong{0};
  auto reader = [&wrong](int id) {
    const std::string tag = std::to_string(id);
    const std::string reply = R"({"code":0,"result":true,"message":"thread )" + tag +
                              R"(","responseBody":[{"id":)" + tag + R"(},{"id":2}]})";
    for (int i = 0; i < kRounds; ++i) {
      JsonDoc& doc = SharedJson();
      if (doc.GetValue(reply, "message") != "thread " + tag) ++wrong;
      if (doc.GetValue(reply, "responseBody.[1].id") != tag) ++wrong;
      std::vector<std::string> elements;
      if (doc.ListElements(doc.GetValue(reply, "responseBody"), true, elements) != 2 ||
          elements.front() != R"({"id":)" + tag + "}") {
        ++wrong;
      }
    }
  };
  std::thread ui(reader, 1);
  std::thread keep_alive(reader, 7);
  ui.join();
  keep_alive.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(&SharedJson(), &SharedJson());
}

}  // namespace
}  // namespace nuve::core
