// The login window with a secret store on the session bus (a private
// gnome-keyring-daemon, which the test main starts for tests named
// "...Keyring..."): the remembered password lives there, not in login.ini.
#include <gtest/gtest.h>

#include "account_window_test.h"
#include "core/account/secret_password_store.h"

namespace nuve::test {
namespace {

using LoginWindowKeyringTest = AccountWindowTest;

TEST_F(LoginWindowKeyringTest, TheRememberedPasswordMovesToTheKeyringAndStaysThere) {
  SetIni("登录配置", "帐号", "12345678");
  SetIni("登录帐密", "密码", "p&ss=1");  // left by a version without the keyring
  SetIni("登录记忆", "密码记忆", "1");
  const std::string key = (home_->path() / "login.ini").string();
  OpenMain();
  window_->activate_action("win.login");
  Gtk::Window& login = LastModal();
  auto& password = Get<Gtk::Entry>(login, "编辑框2");
  ASSERT_TRUE(RunUntil([&] { return password.get_text() == "p&ss=1"; }));
  EXPECT_EQ(Ini("登录帐密", "密码"), "") << "moved out of the file";
  EXPECT_EQ(core::SecretPasswordStore().Lookup(key), "p&ss=1");

  password.set_text("新密码 &=");
  Press(Get<Gtk::Button>(login, "按钮1"));
  ASSERT_TRUE(WaitForMessages(1));
  EXPECT_TRUE(RunUntil([&] { return core::SecretPasswordStore().Lookup(key) == "新密码 &="; }));
  EXPECT_EQ(Ini("登录帐密", "密码"), "");
  EXPECT_EQ(Ini("登录记忆", "密码记忆"), "1");
}

}  // namespace
}  // namespace nuve::test
