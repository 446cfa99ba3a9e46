#include "core/account/uploaded_image.h"

#include <gtest/gtest.h>

namespace nuve::core {
namespace {

TEST(UploadedImage, ReadsMembersOnDemand) {
  UploadedImage image;
  image.SetText(
      R"({"hash":"d41d8c","createTime":1700000000000,"id":"3","ossurl":"https://o/x.png",
          "referenceNum":2})");
  EXPECT_EQ(image.Hash(), "d41d8c");
  EXPECT_EQ(FormatDateTime(image.CreateTime()), "2023-11-15 06:13:20");
  EXPECT_EQ(image.Id(), 3);
  EXPECT_EQ(image.Ossurl(), "https://o/x.png");
  EXPECT_EQ(image.ReferenceNum(), 2);
  UploadedImage copy = image;
  image.SetText("{}");
  EXPECT_EQ(copy.Hash(), "d41d8c");
  EXPECT_EQ(image.ReferenceNum(), 0);
}

}  // namespace
}  // namespace nuve::core
