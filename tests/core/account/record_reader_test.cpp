#include "core/account/record_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/account/announcement.h"
#include "core/account/friend_group_record.h"
#include "core/account/friend_record.h"
#include "core/account/uploaded_image.h"
#include "core/account/user_info.h"

namespace nuve::core {
namespace {

TEST(RecordReader, MembersAndLists) {
  const RecordReader codec;
  const UserContact contact = codec.ParseUserContact(
      R"({"id":"17","account":"u1","name":"名字","email":"e@x","phone":"1","loginAddress":"北京"})");
  EXPECT_EQ(contact.id, 17);
  EXPECT_EQ(contact.name, "名字");
  EXPECT_EQ(contact.loginAddress, "北京");
  EXPECT_EQ(contact.phone, "1");
  const UserContact empty = codec.ParseUserContact("not json");
  EXPECT_EQ(empty.id, 0);
  EXPECT_EQ(empty.email, "");

  std::vector<UserBrief> briefs{UserBrief{}, UserBrief{}, UserBrief{}};
  ASSERT_EQ(codec.ParseUserBriefs(R"([{"id":1,"account":"a","headUrl":"h"},{"name":"n"}])",
                                  briefs),
            2);
  ASSERT_EQ(briefs.size(), 2u);
  EXPECT_EQ(briefs[0].id, 1);
  EXPECT_EQ(briefs[0].headUrl, "h");
  EXPECT_EQ(briefs[1].name, "n");
  EXPECT_EQ(codec.ParseUserBriefs("[]", briefs), 0);
  EXPECT_TRUE(briefs.empty());

  std::vector<Announcement> news(5);
  ASSERT_EQ(codec.ParseAnnouncements(R"([{"title":"t1","id":3,"pushTime":1700000000000},
                                         {"title":"t2"}])",
                                     news),
            2);
  EXPECT_EQ(news[0].Title(), "t1");
  EXPECT_EQ(news[0].Id(), 3);
  EXPECT_EQ(FormatDateTime(news[0].PushTime()), "2023-11-15 06:13:20");
  EXPECT_EQ(news[1].Id(), 0);

  std::vector<FriendGroupRecord> groups;
  ASSERT_EQ(codec.ParseFriendGroups(R"([{"id":1,"friendGroupName":"家人","rank":2,"enable":true}])",
                                    groups),
            1);
  EXPECT_EQ(groups[0].FriendGroupName(), "家人");
  EXPECT_TRUE(groups[0].Enable());

  std::vector<FriendRecord> friends;
  ASSERT_EQ(codec.ParseFriends(R"([{"id":4,"userId":9},{"id":5}])", friends), 2);
  EXPECT_EQ(friends[0].UserId(), 9);
  EXPECT_EQ(friends[1].Id(), 5);
  EXPECT_EQ(codec.ParseFriends("garbage \xff", friends), 0);

  const UserInfo info = codec.MakeUserInfo(R"({"account":"me","id":42})");
  EXPECT_EQ(info.Account(), "me");
  EXPECT_EQ(info.Id(), 42);
  const UploadedImage image = codec.MakeUploadedImage(R"({"hash":"abc","referenceNum":"3"})");
  EXPECT_EQ(image.Hash(), "abc");
  EXPECT_EQ(image.ReferenceNum(), 3);
}

}  // namespace
}  // namespace nuve::core
