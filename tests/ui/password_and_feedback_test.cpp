// The change-password, recover-password and feedback windows: their checks
// and messages, the show-password buttons, the remembered password after a
// change, and the feedback's title from the personal centre.
#include <gtest/gtest.h>

#include "account_window_test.h"
#include "ui/account/change_password_window.h"
#include "ui/account/login_window.h"

namespace nuve::test {
namespace {

class PasswordAndFeedbackTest : public AccountWindowTest {
 protected:
  Gtk::Window& OpenFromCentre(const char* button, const char* title) {
    window_->activate_action("win.personal-centre");
    Gtk::Window& centre = LastModal();
    Press(Get<Gtk::Button>(centre, button));
    Gtk::Window& window = LastModal();
    EXPECT_EQ(window.get_title(), title);
    return window;
  }
  void Type(Gtk::Widget& window, const char* name, const std::string& text) {
    Get<Gtk::Entry>(window, name).set_text(text);
  }
};

TEST_F(PasswordAndFeedbackTest, ChangingThePasswordChecksItsFieldsAndUpdatesTheRememberedOne) {
  OpenMain();
  LogIn("12345678", "p&ss=1");
  SetIni("登录帐密", "帐号", "12345678");
  SetIni("登录帐密", "密码", "p&ss=1");
  SetIni("登录记忆", "密码记忆", "1");
  Gtk::Window& window = OpenFromCentre("按钮2", "修改密码");
  EXPECT_EQ(Get<Gtk::Entry>(window, "编辑框1").get_text(), "12345678") << "the last login attempt's account";
  Type(window, "编辑框1", "");
  Gtk::Button& change = Get<Gtk::Button>(window, "按钮1");
  const std::vector<std::pair<std::function<void()>, std::string>> steps = {
      {[] {}, "请输入需要修改密码的帐号！"},
      {[&] { Type(window, "编辑框1", "12345678"); }, "请输入旧密码！"},
      {[&] { Type(window, "修改密码旧密码", "wrong"); }, "请输入新密码，长度在6~16位！"},
      {[&] { Type(window, "修改密码新密码", "n"); }, "原密码错误"},  // one character passes the checks
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    steps[i].first();
    Press(change);
    ASSERT_TRUE(WaitForMessages(i + 1)) << i;
    EXPECT_EQ(ui_host_.messages[i], steps[i].second);
  }
  EXPECT_EQ(Ini("登录帐密", "密码"), "p&ss=1");
  Type(window, "修改密码旧密码", "p&ss=1");
  Type(window, "修改密码新密码", "新&密=码");
  Press(change);
  ASSERT_TRUE(WaitForMessages(5));
  EXPECT_EQ(ui_host_.messages[4], "修改成功！请注意密码信息保密，勿透露给他人，由此造成的损失自负！");
  EXPECT_EQ(service_->PasswordOf("12345678"), "新&密=码");
  // The next automatic login sends the new password.
  EXPECT_TRUE(RunUntil([&] { return Ini("登录帐密", "密码") == "新&密=码"; }));
}

TEST_F(PasswordAndFeedbackTest, NotLoggedInThePasswordWindowStartsEmpty) {
  SetIni("登录帐密", "帐号", "12345678");
  SetIni("登录配置", "登录态", "0");
  OpenMain();
  ui::ChangePasswordWindow window(context_->tasks(), context_->password_account(), context_->login_state(),
                                  context_->remembered_login(), ui_host_);
  EXPECT_EQ(Get<Gtk::Entry>(window, "编辑框1").get_text(), "");
}

TEST_F(PasswordAndFeedbackTest, AShowPasswordButtonRevealsThePasswordOnlyWhileHeld) {
  OpenMain();
  LogIn("12345678", "p&ss=1");
  Gtk::Window& window = OpenFromCentre("按钮2", "修改密码");
  window.present();
  auto& old_password = Get<Gtk::Entry>(window, "修改密码旧密码");
  auto& new_password = Get<Gtk::Entry>(window, "修改密码新密码");
  old_password.set_text("secret");
  ASSERT_TRUE(WaitUntilShown(Get<Gtk::Button>(window, "图形按钮1")));
  EXPECT_FALSE(old_password.get_visibility());
  ASSERT_TRUE(PointerAtCentre(Get<Gtk::Button>(window, "图形按钮1"), "mousedown 1"));
  EXPECT_TRUE(RunUntil([&] { return old_password.get_visibility(); }, 3000)) << "held: readable";
  EXPECT_FALSE(new_password.get_visibility()) << "only its own box";
  ASSERT_TRUE(XDoTool("mouseup 1"));
  EXPECT_TRUE(RunUntil([&] { return !old_password.get_visibility(); }, 3000)) << "released: masked again";
  EXPECT_TRUE(ui_host_.messages.empty());
}

TEST_F(PasswordAndFeedbackTest, TheRecoveryMailIsSentEvenForAnEmptyAccountAndTheAnswerShown) {
  SetEnv("NUVE_RECOVERY_CONTACT", "QQ 10001");
  OpenMain();
  window_->activate_action("win.login");
  FollowLink(Get<Gtk::Label>(LastModal(), "透明标签4"));
  Gtk::Window& window = LastModal();
  EXPECT_EQ(window.get_title(), "找回密码");
  EXPECT_NE(Get<Gtk::Label>(window, "透明标签2").get_text().raw().find("（QQ 10001）"), std::string::npos);
  Gtk::Button& send = Get<Gtk::Button>(window, "按钮1");
  Press(send);
  ASSERT_TRUE(WaitForMessages(1));
  EXPECT_EQ(ui_host_.messages[0], "账号不存在");
  EXPECT_EQ(service_->RequestsTo("/api/sendRePwdByEmail.e").at(0).body.rfind("account=&appKey=", 0), 0u);
  Type(window, "编辑框1", "12345678");
  Press(send);
  ASSERT_TRUE(WaitForMessages(2));
  EXPECT_EQ(ui_host_.messages[1], "重置邮件已发送");
  EXPECT_EQ(service_->ResetMailsSent(), std::vector<std::string>{"12345678"});
  // A success without words shows nothing.
  service_->SetMode("/api/sendRePwdByEmail.e", ReplyMode::kSucceed, "");
  Press(send);
  ASSERT_TRUE(service_->WaitForRequests("/api/sendRePwdByEmail.e", 3, std::chrono::seconds(5)));
  ASSERT_TRUE(RunUntil([&] { return send.get_sensitive(); }));
  EXPECT_EQ(ui_host_.messages.size(), 2u);
}

TEST_F(PasswordAndFeedbackTest, FeedbackIsCheckedCutTo200CharactersAndTitledWithTheCentreAccountLabel) {
  OpenMain();
  LogIn("12345678", "p&ss=1");
  window_->activate_action("win.personal-centre");
  Gtk::Window& centre = LastModal();
  ASSERT_TRUE(RunUntil([&] { return Get<Gtk::Label>(centre, "用户帐号").get_text() == "用户账号：12345678"; }));
  Press(Get<Gtk::Button>(centre, "按钮3"));
  Gtk::Window& window = LastModal();
  EXPECT_EQ(window.get_title(), "反馈");
  Gtk::Button& send = Get<Gtk::Button>(window, "发送");
  Press(send);
  EXPECT_EQ(ui_host_.messages, std::vector<std::string>{"请输入反馈内容！"});
  auto buffer = Get<Gtk::TextView>(window, "编辑框1").get_buffer();
  std::string typed(150, 'a');
  std::string kept = typed;
  for (int i = 0; i < 100; ++i) typed += "字";
  for (int i = 0; i < 50; ++i) kept += "字";
  buffer->set_text(typed);
  EXPECT_EQ(buffer->get_char_count(), 200);
  Press(send);
  ASSERT_TRUE(WaitForMessages(2));
  EXPECT_EQ(ui_host_.messages[1], "发送反馈成功！");
  const auto feedback = service_->FeedbackReceived();
  ASSERT_EQ(feedback.size(), 1u);
  EXPECT_EQ(feedback[0].title, "用户账号：12345678");
  EXPECT_EQ(feedback[0].content, kept);
  EXPECT_EQ(buffer->get_char_count(), 200) << "the window keeps its text";

  service_->ExpireTokens();
  Press(send);
  ASSERT_TRUE(WaitForMessages(3));
  EXPECT_EQ(ui_host_.messages[2], "登录已过期");
  window.present();
  Press(Get<Gtk::Button>(window, "取消"));
  EXPECT_TRUE(RunUntil([&] { return !window.get_visible(); }));
  EXPECT_EQ(service_->FeedbackReceived().size(), 1u);
}

}  // namespace
}  // namespace nuve::test
