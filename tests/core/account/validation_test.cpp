// What the window tests do not reach: the edges of the register checks and
// of the avatar check.
#include "core/account/validation.h"

#include <gtest/gtest.h>

namespace nuve::core {
namespace {

TEST(Validation, RegisterFieldsAreCheckedInTheOrderOfTheForm) {
  RegisterForm form{"", "1234567", "", "", "", "", ""};
  EXPECT_EQ(CheckRegisterForm(form), "请输入8~10位纯数字帐号！");
  form.account = "12345678901";
  EXPECT_EQ(CheckRegisterForm(form), "请输入8~10位纯数字帐号！");
  form.account = "1234567a";
  EXPECT_EQ(CheckRegisterForm(form), "请输入8~10位纯数字帐号！");
  form.account = "1234567890";
  EXPECT_EQ(CheckRegisterForm(form), "请填写邮箱地址！");
  form.email = "a@b";
  EXPECT_EQ(CheckRegisterForm(form), "请输入四位数字验证码！");
  form.code = "１２３４";  // full-width digits are no digits
  EXPECT_EQ(CheckRegisterForm(form), "请输入四位数字验证码！");
  form.code = "0000";
  form.password = "密码密码密";  // five characters, fifteen bytes
  EXPECT_EQ(CheckRegisterForm(form), "请输入6~16位密码！");
  form.password = std::string(17, 'x');
  EXPECT_EQ(CheckRegisterForm(form), "请输入6~16位密码！");
  form.password = "密码密码密码😀😀😀😀😀😀😀😀😀😀";  // sixteen characters
  EXPECT_EQ(CheckRegisterForm(form), "两次输入的密码不一致！");
  form.confirmation = form.password;
  EXPECT_EQ(CheckRegisterForm(form), std::nullopt);
  EXPECT_EQ(CharacterCount("a\xff密"), 3u) << "a stray byte counts as one";
}

TEST(Validation, AvatarsAreJudgedByTheirFirstBytesAndSize) {
  EXPECT_EQ(CheckAvatarImage("\x89PNG\r\n\x1a\nrest"), std::nullopt);
  EXPECT_EQ(CheckAvatarImage("\xff\xd8\xff\xe0rest"), std::nullopt);
  EXPECT_EQ(CheckAvatarImage("GIF87a"), std::nullopt);
  EXPECT_EQ(CheckAvatarImage("GIF89a" + std::string(kMaxAvatarBytes - 6, '\0')), std::nullopt);
  EXPECT_EQ(CheckAvatarImage("GIF89a" + std::string(kMaxAvatarBytes - 5, '\0')), "头像图片不能超过2MB！");
  EXPECT_EQ(CheckAvatarImage("<svg/>"), "请选择PNG、JPEG或GIF格式的图片！");
  EXPECT_EQ(CheckAvatarImage(""), "请选择PNG、JPEG或GIF格式的图片！");
}

}  // namespace
}  // namespace nuve::core
