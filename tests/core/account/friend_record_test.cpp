#include "core/account/friend_record.h"

#include <gtest/gtest.h>

namespace nuve::core {
namespace {

TEST(FriendRecord, LoadsTypedFieldsAndOverwritesThemAll) {
  FriendRecord unloaded;
  EXPECT_EQ(FormatDateTime(unloaded.CreateTime()), "1970-01-01 08:00:00");

  FriendRecord friend_record;
  friend_record.LoadFields(
      R"({"id":1,"userId":2,"createTime":"1700000000000","nicker":"小明","account":"xm",
          "remark":"同学 \"老王\"","headPath":"http://127.0.0.1:9/h.png"})");
  EXPECT_EQ(friend_record.Id(), 1);
  EXPECT_EQ(friend_record.UserId(), 2);
  EXPECT_EQ(FormatDateTime(friend_record.CreateTime()), "2023-11-15 06:13:20");
  EXPECT_EQ(friend_record.Nicker(), "小明");
  EXPECT_EQ(friend_record.Account(), "xm");
  EXPECT_EQ(friend_record.Remark(), "同学 \"老王\"");
  EXPECT_EQ(friend_record.HeadPath(), "http://127.0.0.1:9/h.png");
  EXPECT_EQ(friend_record.HeadImage(), "");  // nothing listens there

  friend_record.LoadFields(R"({"id":5})");
  EXPECT_EQ(friend_record.Id(), 5);
  EXPECT_EQ(friend_record.UserId(), 0);
  EXPECT_EQ(FormatDateTime(friend_record.CreateTime()), "1970-01-01 08:00:00");
  EXPECT_EQ(friend_record.Nicker(), "");
  EXPECT_EQ(friend_record.HeadPath(), "");
}

}  // namespace
}  // namespace nuve::core
