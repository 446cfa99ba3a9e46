#include "core/account/friend_group_record.h"

#include <gtest/gtest.h>

namespace nuve::core {
namespace {

TEST(FriendGroupRecord, LoadsTypedFieldsAndOverwritesThemAll) {
  FriendGroupRecord group;
  group.LoadFields(R"({"rank":3,"friendGroupName":"同事","enable":true,"id":"8"})");
  EXPECT_EQ(group.Id(), 8);
  EXPECT_EQ(group.FriendGroupName(), "同事");
  EXPECT_EQ(group.Rank(), 3);
  EXPECT_TRUE(group.Enable());

  group.LoadFields(R"({"enable":false})");
  EXPECT_EQ(group.Id(), 0);
  EXPECT_EQ(group.FriendGroupName(), "");
  EXPECT_EQ(group.Rank(), 0);
  EXPECT_FALSE(group.Enable());

  for (const char* text : {R"({"enable":TRUE})", R"({"enable":"True"})", "{}", "", "[true]"}) {
    group.LoadFields(R"({"enable":true})");
    group.LoadFields(text);
    EXPECT_FALSE(group.Enable()) << text;
  }
}

}  // namespace
}  // namespace nuve::core
