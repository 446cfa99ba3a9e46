// The checks and texts of the account windows, and the service address.
#include "core/account/account_texts.h"

#include <gtest/gtest.h>

#include "core/account/service_address.h"
#include "core/account/validation.h"
#include "core/util/codec_util.h"

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

TEST(Validation, TheOtherWindowsRefuseOnlyEmptyFields) {
  EXPECT_EQ(CheckCodeMailAddress(""), "请填写接收验证码的邮箱地址！");
  EXPECT_EQ(CheckCodeMailAddress(" "), std::nullopt);
  EXPECT_EQ(CheckPasswordChange("", "", ""), "请输入需要修改密码的帐号！");
  EXPECT_EQ(CheckPasswordChange("1", "", ""), "请输入旧密码！");
  EXPECT_EQ(CheckPasswordChange("1", "o", ""), "请输入新密码，长度在6~16位！");
  EXPECT_EQ(CheckPasswordChange("1", "o", "n"), std::nullopt);
  EXPECT_EQ(CheckFeedback(""), "请输入反馈内容！");
  EXPECT_EQ(CheckFeedback(" "), std::nullopt);
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

TEST(AccountTexts, TheCountdownShowsFiftyNineToZeroThenTheCaption) {
  CodeCountdown countdown;
  EXPECT_EQ(countdown.Start(), "获取验证码（59）");
  std::string last;
  int ticks = 0;
  while (countdown.running()) {
    last = countdown.Tick();
    ++ticks;
    if (ticks == 59) EXPECT_EQ(last, "获取验证码（0）");
  }
  EXPECT_EQ(ticks, 60) << "sixty seconds in all";
  EXPECT_EQ(last, "获取验证码");
  EXPECT_EQ(countdown.Start(), "获取验证码（59）") << "it starts again";
}

TEST(AccountTexts, RepliesStatusAndProfileTexts) {
  EXPECT_EQ(FailureText(ApiResponse("")), kServiceUnreachable);
  EXPECT_EQ(FailureText(ApiResponse(R"({"result":false,"message":"密码错误"})")), "密码错误");
  EXPECT_EQ(AccountStatus(false, true).text, "未登录");
  EXPECT_EQ(AccountStatus(false, true).rgb, kBlue);
  EXPECT_EQ(AccountStatus(true, true).rgb, kGreen);
  EXPECT_EQ(AccountStatus(true, false).text, "该号已被封停！");
  EXPECT_EQ(AccountStatus(true, false).rgb, kRed);
  const ProfileTexts empty = MakeProfileTexts(CodecUtil().MakeUserInfo("{}"));
  EXPECT_EQ(empty.id, "用户ID：0");
  EXPECT_EQ(empty.account, "用户账号：");
  EXPECT_EQ(empty.regist_time, "注册日期：1970-01-01 08:00:00");
  EXPECT_EQ(RecoveryNotice("").find("（"), std::string::npos);
  EXPECT_NE(RecoveryNotice("QQ 1").find("（QQ 1）"), std::string::npos);
}

TEST(ServiceAddressTest, SchemesHostsAndWhetherPasswordsTravelInClear) {
  const ServiceAddress plain("127.0.0.1:8808");
  EXPECT_EQ(plain.BaseUrl(), "http://127.0.0.1:8808");
  EXPECT_FALSE(plain.SendsInClear());
  const ServiceAddress tls(" HTTPS://Acc.Example:8443/api ");
  EXPECT_TRUE(tls.tls());
  EXPECT_EQ(tls.BaseUrl(), "https://Acc.Example:8443");
  EXPECT_EQ(tls.Host(), "acc.example");
  EXPECT_FALSE(tls.SendsInClear());
  EXPECT_TRUE(ServiceAddress("http://10.1.2.3").SendsInClear());
  EXPECT_TRUE(ServiceAddress("127.example.com").SendsInClear()) << "a name that only starts like loopback";
  EXPECT_FALSE(ServiceAddress("LOCALHOST:1").SendsInClear());
  EXPECT_FALSE(ServiceAddress("[::1]:8808").SendsInClear());
  EXPECT_TRUE(ServiceAddress("[2001:db8::1]:8808").SendsInClear());
}

}  // namespace
}  // namespace nuve::core
