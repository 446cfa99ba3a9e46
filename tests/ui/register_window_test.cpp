// The register window: the code request with its countdown, the field
// checks and the registration with an avatar checked by its content.
#include <gtest/gtest.h>

#include "account_window_test.h"
#include "ui/account/login_window.h"
#include "ui/account/register_window.h"

namespace nuve::test {
namespace {

class RegisterWindowTest : public AccountWindowTest {
 protected:
  ui::RegisterWindow& OpenRegister() {
    OpenMain();
    window_->activate_action("win.login");
    dynamic_cast<ui::LoginWindow&>(LastModal()).signal_register_requested().emit();
    auto& window = dynamic_cast<ui::RegisterWindow&>(LastModal());
    EXPECT_EQ(window.get_title(), "注册");
    return window;
  }
  void Type(Gtk::Widget& window, const char* name, const std::string& text) {
    Get<Gtk::Entry>(window, name).set_text(text);
  }
};

TEST_F(RegisterWindowTest, TheCodeButtonCountsDownWhateverTheReplyAndStopsWithTheWindow) {
  ui::RegisterWindow& window = OpenRegister();
  window.SetCountdownInterval(std::chrono::milliseconds(10));
  Gtk::Button& code = Get<Gtk::Button>(window, "按钮2");
  Press(code);
  ASSERT_EQ(ui_host_.messages, std::vector<std::string>{"请填写接收验证码的邮箱地址！"});
  EXPECT_TRUE(code.get_sensitive());

  std::vector<std::string> captions;
  code.property_label().signal_changed().connect([&] { captions.push_back(code.get_label()); });
  service_->SetMode("/api/sendRegCodeByEmail.e", ReplyMode::kRefuse, "邮箱格式错误");
  Type(window, "邮箱", " ");  // only the empty text is refused
  Press(code);
  EXPECT_FALSE(code.get_sensitive());
  ASSERT_TRUE(RunUntil([&] { return code.get_sensitive(); }));
  ASSERT_EQ(captions.size(), 61u);
  EXPECT_EQ(captions.front(), "获取验证码（59）");
  EXPECT_EQ(captions[59], "获取验证码（0）");
  EXPECT_EQ(captions.back(), "获取验证码");
  ASSERT_TRUE(WaitForMessages(2));
  EXPECT_EQ(ui_host_.messages[1], "邮箱格式错误") << "a refusal does not cut the countdown short";
  ASSERT_EQ(service_->RequestsTo("/api/sendRegCodeByEmail.e").size(), 1u);
  EXPECT_EQ(service_->RequestsTo("/api/sendRegCodeByEmail.e")[0].body.rfind("email=%20&appKey=", 0), 0u);

  // Closed in the middle of the countdown and of its request: the timer and
  // the reply go with it.
  service_->SetMode("/api/sendRegCodeByEmail.e", ReplyMode::kSlow);
  service_->SetSlowDelay(std::chrono::milliseconds(200));
  window.SetCountdownInterval(std::chrono::milliseconds(50));
  const std::size_t shown = captions.size();
  Press(code);
  ASSERT_TRUE(RunUntil([&] { return captions.size() > shown + 1; }, 3000)) << "the countdown runs";
  ASSERT_TRUE(service_->WaitForRequests("/api/sendRegCodeByEmail.e", 2, std::chrono::seconds(5)));
  ui_host_.modals.pop_back();
  ASSERT_TRUE(WaitForQuiet());
  // Three countdown steps later the closed window's timer would have fired.
  bool later = false;
  Glib::signal_timeout().connect_once([&] { later = true; }, 150);
  ASSERT_TRUE(RunUntil([&] { return later; }, 3000));
  EXPECT_EQ(ui_host_.messages.size(), 2u);
}

TEST_F(RegisterWindowTest, EachFieldIsCheckedThenTheAccountIsRegisteredWithItsAvatar) {
  ui::RegisterWindow& window = OpenRegister();
  // The boxes refuse what they cannot hold.
  Type(window, "帐号", "12ab34567890123");
  EXPECT_EQ(Get<Gtk::Entry>(window, "帐号").get_text(), "1234567890");
  EXPECT_EQ(Get<Gtk::Entry>(window, "帐号").get_placeholder_text(), "8~10位纯数字");
  EXPECT_EQ(Get<Gtk::Entry>(window, "验证码").get_placeholder_text(), "四位数字验证码");
  Type(window, "手机号码", "138-0013-8000-99");
  EXPECT_EQ(Get<Gtk::Entry>(window, "手机号码").get_text(), "13800138000");

  Gtk::Button& submit = Get<Gtk::Button>(window, "按钮1");
  const std::vector<std::pair<std::function<void()>, std::string>> steps = {
      {[&] { Type(window, "帐号", "1234567"); }, "请输入8~10位纯数字帐号！"},
      {[&] { Type(window, "帐号", "87654321"); }, "请填写邮箱地址！"},
      {[&] { Type(window, "邮箱", "new@example.com"); }, "请输入四位数字验证码！"},
      {[&] { Type(window, "验证码", "123"); }, "请输入四位数字验证码！"},
      {[&] { Type(window, "验证码", "1234"); }, "请输入6~16位密码！"},
      {[&] { Type(window, "密码", "密码&=12"); }, "两次输入的密码不一致！"},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    steps[i].first();
    Press(submit);
    ASSERT_EQ(ui_host_.messages.size(), i + 1);
    EXPECT_EQ(ui_host_.messages[i], steps[i].second);
  }
  EXPECT_TRUE(service_->RequestsTo("/api/register.e").empty());

  // The avatar is judged by its content, not its name.
  const auto not_a_picture = home_->path() / "photo.png";
  WriteFileBytes(not_a_picture, "<html>not a picture</html>");
  window.LoadAvatar(not_a_picture.string());
  ASSERT_TRUE(WaitForMessages(7));
  EXPECT_EQ(ui_host_.messages[6], "请选择PNG、JPEG或GIF格式的图片！");
  const auto too_large = home_->path() / "large.gif";
  WriteFileBytes(too_large, "GIF89a" + std::string(3 * 1024 * 1024, '\0'));
  window.LoadAvatar(too_large.string());
  ASSERT_TRUE(WaitForMessages(8));
  EXPECT_EQ(ui_host_.messages[7], "头像图片不能超过2MB！");
  const auto picture = home_->path() / "avatar.bin";
  const std::string png = SmallPng();
  WriteFileBytes(picture, png);
  auto& avatar = Get<Gtk::Image>(window, "图片框1");
  EXPECT_EQ(avatar.get_storage_type(), Gtk::Image::Type::ICON_NAME);
  window.LoadAvatar(picture.string());
  ASSERT_TRUE(RunUntil([&] { return avatar.get_storage_type() == Gtk::Image::Type::PAINTABLE; }));
  EXPECT_EQ(ui_host_.messages.size(), 8u);

  Type(window, "确认密码", "密码&=12");
  Type(window, "昵称", "新用户");
  Press(submit);
  ASSERT_TRUE(WaitForMessages(9));
  EXPECT_EQ(ui_host_.messages[8], "注册成功！");
  EXPECT_EQ(service_->PasswordOf("87654321"), "密码&=12");
  const std::string body = service_->RequestsTo("/api/register.e").at(0).body;
  EXPECT_NE(body.find("name=\"code\"\r\n\r\n1234\r\n"), std::string::npos);
  EXPECT_NE(body.find("name=\"name\"\r\n\r\n新用户\r\n"), std::string::npos);
  EXPECT_NE(body.find("filename=\"img\"\r\nContent-Type: application/octet-stream\r\n\r\n" + png), std::string::npos);
  EXPECT_NE(body.find("name=\"phone\"\r\n\r\n13800138000\r\n"), std::string::npos);
  EXPECT_NE(body.find("name=\"email\"\r\n\r\nnew@example.com\r\n"), std::string::npos);

  Press(submit);  // the same account again: the service's refusal
  ASSERT_TRUE(WaitForMessages(10));
  EXPECT_EQ(ui_host_.messages[9], "账号已存在");
}

}  // namespace
}  // namespace nuve::test
