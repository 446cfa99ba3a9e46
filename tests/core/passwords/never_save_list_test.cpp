// The sites whose passwords are never saved, kept in a plain INI file.
#include "core/passwords/never_save_list.h"

#include <gtest/gtest.h>

#include "support/temp_home.h"

namespace nuve::core {
namespace {

TEST(NeverSaveList, KeepsOriginsAcrossRunsAndOnlyOrigins) {
  test::TempHome home;
  const auto file = home.path() / "never-save.ini";
  {
    NeverSaveList list(file);
    EXPECT_FALSE(list.Contains("https://a.test"));
    ASSERT_TRUE(list.Add("https://b.test:8443").ok());
    ASSERT_TRUE(list.Add("https://a.test").ok());
    ASSERT_TRUE(list.Add("https://a.test").ok());
    EXPECT_EQ(list.Add("https://a.test/login").error().kind, ErrorKind::kInvalidName) << "an address, not an origin";
    EXPECT_EQ(list.Add("[x]").error().kind, ErrorKind::kInvalidName);
    EXPECT_EQ(list.Add("").error().kind, ErrorKind::kInvalidName);
  }
  NeverSaveList again(file);
  EXPECT_TRUE(again.Contains("https://a.test"));
  EXPECT_FALSE(again.Contains("http://a.test")) << "another scheme is another site";
  EXPECT_EQ(again.Origins(), (std::vector<std::string>{"https://a.test", "https://b.test:8443"}));
  ASSERT_TRUE(again.Remove("https://a.test").ok());
  ASSERT_TRUE(again.Remove("https://never.test").ok()) << "removing what is not there is fine";
  EXPECT_EQ(again.Origins(), (std::vector<std::string>{"https://b.test:8443"}));
  EXPECT_EQ(test::ReadFileBytes(file).find("password"), std::string::npos);
}

TEST(NeverSaveList, AHandEditedFileKeepsItsGoodLines) {
  test::TempHome home;
  const auto file = home.path() / "never-save.ini";
  test::WriteFileBytes(file,
                       "\xEF\xBB\xBF[从不保存]\r\nhttps://a.test=1\r\nnot an origin=1\r\n[broken\r\n"
                       "http://b.test:81=yes\r\n[其它]\r\nhttps://c.test=1\r\n");
  NeverSaveList list(file);
  EXPECT_EQ(list.Origins(), (std::vector<std::string>{"http://b.test:81", "https://a.test"}));
  EXPECT_TRUE(list.Contains("http://b.test:81")) << "any value counts";
  EXPECT_FALSE(list.Contains("https://c.test")) << "another section";
  ASSERT_TRUE(list.Remove("https://a.test").ok());
  EXPECT_EQ(IniFile(file).Read("其它", "https://c.test"), "1") << "the rest of the file stays";
}

}  // namespace
}  // namespace nuve::core
