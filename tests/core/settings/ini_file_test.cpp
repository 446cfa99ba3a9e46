// The INI module and the program's settings files, in a fresh temporary folder.
#include "core/settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/settings/app_settings.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

using test::ReadFileBytes;
using test::TempHome;
using test::WriteFileBytes;

TEST(IniFile, MissingFileOrKeyGivesTheFallback) {
  TempHome home;
  IniFile ini(home.path() / "none.ini");
  EXPECT_EQ(ini.Read("s", "k"), "");
  EXPECT_EQ(ini.Read("s", "k", "dflt"), "dflt");
}

TEST(IniFile, WriteReplacesOneKeyAndKeepsTheRest) {
  TempHome home;
  const auto path = home.path() / "sub" / "Set save.ini";
  IniFile ini(path);
  ASSERT_TRUE(ini.Write("网址配置", "主页", "www.a.test").ok());
  ASSERT_TRUE(ini.Write("其它", "键", "值").ok());
  ASSERT_TRUE(ini.Write("网址配置", "主页", "www.b.test").ok());
  EXPECT_EQ(ini.Read("网址配置", "主页"), "www.b.test");
  EXPECT_EQ(ini.Read("其它", "键"), "值");
  EXPECT_EQ(ini.Read("网址配置", "其它"), "");
}

TEST(IniFile, RemoveTakesOneKeyAndKeepsTheRest) {
  TempHome home;
  const auto path = home.path() / "list.ini";
  IniFile ini(path);
  ASSERT_TRUE(ini.Remove("a", "k").ok()) << "no file: nothing to remove";
  EXPECT_FALSE(std::filesystem::exists(path)) << "and nothing created";
  ASSERT_TRUE(ini.Write("a", "k", "1").ok());
  ASSERT_TRUE(ini.Write("a", "other", "2").ok());
  ASSERT_TRUE(ini.Write("b", "k", "3").ok());
  ASSERT_TRUE(ini.Remove("a", "k").ok());
  ASSERT_TRUE(ini.Remove("a", "missing").ok());
  ASSERT_TRUE(ini.Remove("missing", "k").ok());
  EXPECT_EQ(ini.Read("a", "k", "<gone>"), "<gone>");
  EXPECT_EQ(ini.Read("a", "other"), "2");
  EXPECT_EQ(ini.Read("b", "k"), "3");
}

TEST(IniFile, ReadsWindowsFilesWithCrlfBomAndBrokenLines) {
  TempHome home;
  const auto path = home.path() / "login.ini";
  WriteFileBytes(path,
                 "\xEF\xBB\xBF[登录配置]\r\n"
                 "this line is not a key\r\n"
                 "=no name\r\n"
                 "登录态=1\r\n"
                 "[broken section\r\n"
                 "账号=张三\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.Read("登录配置", "登录态"), "1");
  ASSERT_TRUE(ini.Write("登录配置", "登录态", "0").ok());
  EXPECT_EQ(ini.Read("登录配置", "登录态"), "0");
  // The key after the broken section line stays in the section before it.
  EXPECT_EQ(ini.Read("登录配置", "账号"), "张三");
}

TEST(IniFile, DamagedLinesHideNoOtherKey) {
  TempHome home;
  const auto path = home.path() / "Set save.ini";
  // A section line without "]", a NUL byte, and two files joined together
  // (the second one's byte-order mark in the middle, and before a key).
  using namespace std::string_literals;
  WriteFileBytes(path, "[网址配置]\n[broken\n主页=www.a.test\n\0junk\n"
                       "\xEF\xBB\xBF[其它]\r\n\xEF\xBB\xBF键=值\n"s);
  IniFile ini(path);
  const std::vector<std::pair<std::string, std::string>> keys = {{"网址配置", "主页"}, {"其它", "键"}};
  EXPECT_EQ(ini.ListKeys(), keys);
  ASSERT_TRUE(ini.Write("其它", "新", "1").ok());
  EXPECT_EQ(ini.Read("网址配置", "主页"), "www.a.test");
  EXPECT_EQ(ini.Read("其它", "键"), "值");
  EXPECT_EQ(ini.Read("其它", "新"), "1");
}

TEST(IniFile, NameThatWouldNotReadBackIsRefusedAndTouchesNothing) {
  TempHome home;
  const auto path = home.path() / "x.ini";
  WriteFileBytes(path, "[s]\nk=keep\n");
  IniFile ini(path);
  const std::pair<std::string, std::string> refused[] = {
      {"s", ""},      {"s", "k=x"},      {"s", " k"},        {"s", "k\n"},  {"s", ";k"},
      {"s", "[k"},    {"s", "\xEF\xBB\xBFk"}, {"s]", "k"},   {"s\r", "k"}, {" s", "k"},
      {"s", "\xD6\xF7"}, {std::string("s\0t", 3), "k"},
  };
  for (const auto& [section, key] : refused) {
    const Status status = ini.Write(section, key, "lost");
    ASSERT_FALSE(status.ok()) << section << "/" << key;
    EXPECT_EQ(status.error().kind, ErrorKind::kInvalidName);
  }
  EXPECT_EQ(ReadFileBytes(path), "[s]\nk=keep\n");
  EXPECT_TRUE(ini.Write("", "顶层", "1").ok());
  EXPECT_EQ(ini.Read("", "顶层"), "1");
  EXPECT_EQ(ini.Read("s", "k"), "keep");
}

TEST(IniFile, ValueThatIsNotUtf8LeavesTheFileUtf8) {
  TempHome home;
  IniFile ini(home.path() / "Collection.ini");
  ASSERT_TRUE(ini.Write("网址配置", "主页", "新浪").ok());
  // GBK bytes would turn the whole file into GBK and garble the other key.
  ASSERT_TRUE(ini.Write("收藏", "地址", "http://x.test/\xD0\xC2\xC0\xCB").ok());
  EXPECT_EQ(ini.Read("网址配置", "主页"), "新浪");
  EXPECT_EQ(ini.Read("收藏", "地址"), "http://x.test/新浪");
  ASSERT_TRUE(ini.Write("收藏", "地址", std::string("a\0b", 3)).ok());
  EXPECT_EQ(ini.Read("收藏", "地址"), "a");
}

TEST(IniFile, LegacyGbkFileIsReadAsGbk) {
  TempHome home;
  const auto path = home.path() / "Set save.ini";
  // [网址配置] 主页=新浪 written by the Windows version in GBK.
  WriteFileBytes(path, "[\xCD\xF8\xD6\xB7\xC5\xE4\xD6\xC3]\r\n\xD6\xF7\xD2\xB3=\xD0\xC2\xC0\xCB\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.Read("网址配置", "主页"), "新浪");
}

TEST(IniFile, ValueWithLineBreakStaysOneKey) {
  TempHome home;
  IniFile ini(home.path() / "x.ini");
  ASSERT_TRUE(ini.Write("s", "k", "a\r\nevil=1").ok());
  EXPECT_EQ(ini.Read("s", "evil"), "");
  EXPECT_EQ(ini.Read("s", "k"), "a  evil=1");
}

TEST(IniFile, UnwritableFolderReportsAnError) {
  TempHome home;
  WriteFileBytes(home.path() / "file", "x");
  IniFile ini(home.path() / "file" / "x.ini");
  const Status status = ini.Write("s", "k", "v");
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.error().kind, ErrorKind::kIo);
}

TEST(AppSettings, FilesLieInNuveHome) {
  TempHome home;
  const AppSettings settings(Config::FromEnvironment());
  EXPECT_EQ(settings.HomePage(), "");
  ASSERT_TRUE(settings.SetHomePage("www.home.test").ok());
  EXPECT_EQ(settings.HomePage(), "www.home.test");
  EXPECT_NE(ReadFileBytes(home.path() / "Set save.ini").find("主页"), std::string::npos);
}

}  // namespace
}  // namespace nuve::core

namespace nuve::core {
namespace {

TEST(IniFile, FolderUnderTheFileNameReadsAsMissingAndFailsToWrite) {
  test::TempHome home;
  const auto path = home.path() / "Set save.ini";
  std::filesystem::create_directory(path);
  IniFile ini(path);
  EXPECT_EQ(ini.Read("网址配置", "主页", "dflt"), "dflt");
  EXPECT_FALSE(ini.Write("网址配置", "主页", "www.a.test").ok());
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(IniFile, FileThatCannotBeReadIsNotOverwritten) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  test::TempHome home;
  const auto path = home.path() / "Set save.ini";
  test::WriteFileBytes(path, "[网址配置]\n主页=www.a.test\n[其它]\n键=值\n");
  chmod(path.c_str(), 0200);
  IniFile ini(path);
  EXPECT_FALSE(ini.Write("网址配置", "主页", "www.b.test").ok());
  chmod(path.c_str(), 0644);
  EXPECT_EQ(ini.Read("其它", "键"), "值");
  EXPECT_EQ(ini.Read("网址配置", "主页"), "www.a.test");
}

}  // namespace
}  // namespace nuve::core
