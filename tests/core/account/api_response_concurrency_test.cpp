#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "core/account/api_response.h"
#include "core/account/friend_group_record.h"
#include "core/account/user_info.h"
#include "core/account/record_reader.h"

namespace nuve::core {
namespace {

// The keep-alive thread asks its reply IsSuccess while the UI thread reads
// other replies and records: every answer must be the one of its own text.
TEST(ApiResponseConcurrency, RepliesReadOnTwoThreadsKeepTheirOwnAnswers) {
  ApiResponse keep_alive;
  keep_alive.SetText(R"({"code":0,"result":true,"message":"alive"})");
  ApiResponse failed;
  failed.SetText(R"({"code":3,"result":false,"message":"过期","responseBody":{"account":"u"}})");

  std::atomic<int> wrong{0};
  std::thread worker([&] {
    for (int i = 0; i < 2000; ++i) {
      if (!keep_alive.IsSuccess() || keep_alive.Message() != "alive") ++wrong;
    }
  });
  const RecordReader codec;
  for (int i = 0; i < 2000; ++i) {
    if (failed.IsSuccess() || failed.Code() != 3 || failed.Message() != "过期") ++wrong;
    if (failed.ToUserInfo().Account() != "u") ++wrong;
    std::vector<FriendGroupRecord> groups;
    if (codec.ParseFriendGroups(R"([{"id":1},{"id":2}])", groups) != 2) ++wrong;
  }
  worker.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace nuve::core
