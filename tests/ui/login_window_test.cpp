// The login window against the fake service: the login button and the
// keys it leaves in login.ini, the automatic login, the focus handlers of
// the two boxes, the logout item, a window closed while it waits, and
// broken services and hostile fields.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "account_window_test.h"
#include "core/account/account_texts.h"
#include "ui/account/login_window.h"

namespace nuve::test {
namespace {

class LoginWindowTest : public AccountWindowTest {
 protected:
  Gtk::Window& OpenLogin() {
    window_->activate_action("win.login");
    Gtk::Window& login = LastModal();
    EXPECT_EQ(login.get_title(), "登录");
    return login;
  }
  void Fill(Gtk::Window& login, const std::string& account, const std::string& password) {
    Get<Gtk::Entry>(login, "编辑框1").set_text(account);
    Get<Gtk::Entry>(login, "编辑框2").set_text(password);
  }
  std::string LastLoginBody() const {
    const auto sent = service_->RequestsTo("/api/login.e");
    return sent.empty() ? "<none>" : sent.back().body;
  }
};

TEST_F(LoginWindowTest, ALoginRemembersWhatIsTickedAndTheLogoutItemFollowsTheState) {
  SetIni("登录配置", "登录态", "0");
  ui::MainWindow& main = OpenMain();
  EXPECT_FALSE(main.lookup_action("logout")->get_enabled());
  Gtk::Window& login = OpenLogin();
  Fill(login, "12345678", "p&ss=1");
  Get<Gtk::CheckButton>(login, "选择框1").set_active(true);
  Get<Gtk::CheckButton>(login, "选择框2").set_active(true);
  Gtk::Button& button = Get<Gtk::Button>(login, "按钮1");
  Press(button);
  EXPECT_FALSE(button.get_sensitive()) << "busy while the request runs";
  Press(button);  // a second press while busy sends nothing more
  ASSERT_TRUE(WaitForMessages(1));
  EXPECT_EQ(ui_host_.messages, std::vector<std::string>{"登录成功"});
  EXPECT_TRUE(button.get_sensitive());
  EXPECT_EQ(service_->RequestsTo("/api/login.e").size(), 1u);

  EXPECT_EQ(Ini("登录配置", "登录态"), "1");
  EXPECT_EQ(Ini("登录配置", "帐号"), "12345678");
  EXPECT_EQ(Ini("登录帐密", "帐号"), "12345678");
  EXPECT_EQ(Ini("登录记忆", "密码记忆"), "1");
  EXPECT_EQ(Ini("登录记忆", "自动记忆"), "1");
  // No secret store in this test: the password stays in the owner-only file.
  EXPECT_TRUE(RunUntil([&] { return Ini("登录帐密", "密码") == "p&ss=1"; }));
  struct stat st {};
  ASSERT_EQ(stat((home_->path() / "login.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  EXPECT_TRUE(main.lookup_action("logout")->get_enabled()) << "a login enables the logout item";
  EXPECT_TRUE(context_->login_session().KeepAliveRunning());
  main.activate_action("win.logout");
  EXPECT_FALSE(main.lookup_action("logout")->get_enabled());
  EXPECT_EQ(Ini("登录配置", "登录态"), "0");
  EXPECT_FALSE(context_->login_session().KeepAliveRunning());
}

TEST_F(LoginWindowTest, AFailedLoginShowsTheServiceMessageAndStillRemembersTheTypedPassword) {
  SetIni("登录配置", "帐号", "87654321");
  OpenMain();
  Gtk::Window& login = OpenLogin();
  EXPECT_EQ(Get<Gtk::Entry>(login, "编辑框1").get_text(), "87654321") << "the last successful account";
  Fill(login, "12345678", "wrong");
  Get<Gtk::CheckButton>(login, "选择框1").set_active(true);
  Press(Get<Gtk::Button>(login, "按钮1"));
  ASSERT_TRUE(WaitForMessages(1));
  EXPECT_EQ(ui_host_.messages[0], "账号或密码错误");
  EXPECT_EQ(Ini("登录配置", "帐号"), "87654321") << "changes only on success";
  EXPECT_EQ(Ini("登录配置", "登录态"), "<none>");
  EXPECT_EQ(Ini("登录帐密", "帐号"), "12345678") << "changes at every press";
  EXPECT_EQ(Ini("登录记忆", "自动记忆"), "<none>");
  EXPECT_TRUE(RunUntil([&] { return Ini("登录帐密", "密码") == "wrong"; }));

  // Unticked: nothing about the password is written.
  Get<Gtk::CheckButton>(login, "选择框1").set_active(false);
  SetIni("登录帐密", "密码", "");
  Press(Get<Gtk::Button>(login, "按钮1"));
  ASSERT_TRUE(WaitForMessages(2));
  ASSERT_TRUE(WaitForQuiet());
  EXPECT_EQ(Ini("登录帐密", "密码"), "");
}

TEST_F(LoginWindowTest, AutomaticLoginSendsTheRememberedPasswordOrAnEmptyOne) {
  SetIni("登录配置", "帐号", "12345678");
  SetIni("登录帐密", "密码", "p&ss=1");
  SetIni("登录记忆", "密码记忆", "1");
  SetIni("登录记忆", "自动记忆", "1");
  OpenMain();
  Gtk::Window& first = OpenLogin();
  EXPECT_TRUE(Get<Gtk::CheckButton>(first, "选择框1").get_active());
  EXPECT_TRUE(Get<Gtk::CheckButton>(first, "选择框2").get_active());
  ASSERT_TRUE(WaitForMessages(1));
  EXPECT_EQ(ui_host_.messages[0], "登录成功");
  EXPECT_EQ(Get<Gtk::Entry>(first, "编辑框2").get_text(), "p&ss=1");
  EXPECT_NE(LastLoginBody().find("account=12345678&password=p%26ss%3D1&"), std::string::npos);
  EXPECT_EQ(Ini("登录配置", "登录态"), "1");
  EXPECT_EQ(Ini("登录帐密", "帐号"), "<none>") << "the automatic login writes no remembering key";

  // Automatic login without a remembered password sends an empty one.
  SetIni("登录记忆", "密码记忆", "0");
  OpenLogin();
  ASSERT_TRUE(WaitForMessages(2));
  EXPECT_EQ(ui_host_.messages[1], "账号或密码错误");
  EXPECT_NE(LastLoginBody().find("account=12345678&password=&"), std::string::npos);
}

TEST_F(LoginWindowTest, TabbingThroughTheBoxesWritesTheirKeysAndErasesThePassword) {
  SetIni("登录帐密", "密码", "kept until tabbed past");
  SetIni("登录记忆", "密码记忆", "1");
  OpenMain();
  Gtk::Window& login = OpenLogin();
  login.present();
  auto& remember = Get<Gtk::CheckButton>(login, "选择框1");
  auto& automatic = Get<Gtk::CheckButton>(login, "选择框2");
  auto& account = Get<Gtk::Entry>(login, "编辑框1");
  ASSERT_TRUE(RunUntil([&] { return Get<Gtk::Entry>(login, "编辑框2").get_text() == "kept until tabbed past"; }));
  remember.grab_focus();
  ASSERT_TRUE(RunUntil([&] { return remember.has_focus(); }));
  EXPECT_EQ(Ini("登录记忆", "密码记忆"), "1");
  account.grab_focus();
  EXPECT_TRUE(RunUntil([&] { return Ini("登录帐密", "密码") == ""; }));
  EXPECT_EQ(Ini("登录记忆", "密码记忆"), "0");

  remember.set_active(false);
  automatic.grab_focus();
  EXPECT_TRUE(RunUntil([&] { return Ini("登录记忆", "自动记忆") == "1"; }));
  EXPECT_TRUE(remember.get_active()) << "automatic login ticks the remember box";
  account.grab_focus();
  EXPECT_TRUE(RunUntil([&] { return Ini("登录记忆", "自动记忆") == "0"; }));
  EXPECT_TRUE(service_->RequestsTo("/api/login.e").empty());
}

TEST_F(LoginWindowTest, AWindowClosedWhileItsLoginWaitsGetsNoReply) {
  service_->SetMode("/api/login.e", ReplyMode::kSlow);
  service_->SetSlowDelay(std::chrono::milliseconds(500));
  OpenMain();
  Gtk::Window& login = OpenLogin();
  Fill(login, "12345678", "p&ss=1");
  Press(Get<Gtk::Button>(login, "按钮1"));
  ASSERT_TRUE(service_->WaitForRequests("/api/login.e", 1, std::chrono::seconds(5)));
  ui_host_.modals.clear();  // the user closed it
  // The reply arrives and its task ends; nothing is delivered.
  ASSERT_TRUE(service_->WaitForRequests("/api/login.e", 1, std::chrono::seconds(5)));
  ASSERT_TRUE(WaitForQuiet());
  EXPECT_TRUE(ui_host_.messages.empty());
  EXPECT_EQ(Ini("登录配置", "登录态"), "<none>");
}

TEST_F(LoginWindowTest, BrokenServicesAndHostileFieldsGiveAMessageAndKeepEverythingElse) {
  SetIni("登录配置", "帐号", "11111111");
  SetIni("其他", "键", "值");
  OpenMain();
  context_->login_account().SetTimeoutSeconds(2);
  Gtk::Window& login = OpenLogin();
  // Ten thousand characters: more than the fake service takes, which answers 413.
  Fill(login, std::string(10000, '9'), "&=\"' 😀 " + std::string(10000, 'x'));
  Gtk::Button& button = Get<Gtk::Button>(login, "按钮1");
  const std::vector<std::pair<ReplyMode, std::string>> cases = {
      {ReplyMode::kDrop, core::kServiceUnreachable},        {ReplyMode::kNeverAnswer, core::kServiceUnreachable},
      {ReplyMode::kMalformedJson, core::kServiceUnreachable}, {ReplyMode::kEmptyBody, core::kServiceUnreachable},
      {ReplyMode::kServerError, core::kServiceUnreachable},  {ReplyMode::kHuge, core::kServiceUnreachable},
      {ReplyMode::kGbk, "密码错误"},                         {ReplyMode::kRefuse, "拒绝 & <b>"}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    service_->SetMode("/api/login.e", cases[i].first, "拒绝 & <b>");
    Press(button);
    ASSERT_TRUE(WaitForMessages(i + 1, 20000)) << i;
    EXPECT_EQ(ui_host_.messages[i], cases[i].second) << i;
    EXPECT_TRUE(button.get_sensitive()) << i;
    // The last replies are read: fields the fake service takes whole.
    if (i == 5) Fill(login, "9&=\"' 😀", "&=\"' 😀");
  }
  EXPECT_EQ(Ini("登录配置", "帐号"), "11111111");
  EXPECT_EQ(Ini("其他", "键"), "值");
  EXPECT_EQ(Ini("登录帐密", "帐号"), "9&=\"' 😀");
}

TEST_F(LoginWindowTest, PlainHttpToAnotherMachineIsFlaggedInRed) {
  for (const auto& [host, flagged] : std::vector<std::pair<std::string, bool>>{
           {"10.0.0.1:8808", true}, {"https://10.0.0.1:8808", false}, {"localhost:8808", false}}) {
    SetEnv("NUVE_SERVICE_HOST", host);
    OpenMain();
    window_->activate_action("win.login");
    Gtk::Widget* notice = FindNamed(LastModal(), "未加密提示");
    EXPECT_EQ(notice != nullptr, flagged) << host;
    if (notice != nullptr) {
      EXPECT_EQ(dynamic_cast<Gtk::Label*>(notice)->get_text(), core::kUnencryptedNotice);
      EXPECT_NE(dynamic_cast<Gtk::Label*>(notice)->get_label().raw().find("#FF0000"), std::string::npos);
    }
    // The register window, opened by the login window's link, says it too.
    FollowLink(Get<Gtk::Label>(LastModal(), "透明标签3"));
    EXPECT_EQ(LastModal().get_title(), "注册");
    EXPECT_EQ(FindNamed(LastModal(), "未加密提示") != nullptr, flagged) << host;
  }
  EXPECT_TRUE(ui_host_.messages.empty());
}

}  // namespace
}  // namespace nuve::test
