#include "core/account/announcement.h"

#include <gtest/gtest.h>

namespace nuve::core {
namespace {

TEST(Announcement, ReadsMembersOnDemand) {
  Announcement notice;
  notice.SetText(R"({"title":"维护\n通知","id":12,"pushTime":1700000000})");
  EXPECT_EQ(notice.Title(), "维护\n通知");
  EXPECT_EQ(notice.Id(), 12);
  EXPECT_EQ(FormatDateTime(notice.PushTime()), "2023-11-15 06:13:20");
  notice.SetText("");
  EXPECT_EQ(notice.Title(), "");
  EXPECT_EQ(notice.Id(), 0);
  EXPECT_EQ(FormatDateTime(notice.PushTime()), "1970-01-01 08:00:00");
}

}  // namespace
}  // namespace nuve::core
