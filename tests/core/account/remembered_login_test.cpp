#include "core/account/remembered_login.h"

#include <gtest/gtest.h>

#include "core/account/secret_password_store.h"
#include "core/settings/ini_file.h"
#include "fake_password_store.h"
#include "support/private_session_bus.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

class RememberedLoginTest : public ::testing::Test {
 protected:
  std::string FilePassword() const { return ini_.Read("登录帐密", "密码", "<none>"); }
  std::string Key() const { return (home_.path() / "login.ini").string(); }

  test::TempHome home_;
  IniFile ini_{home_.path() / "login.ini"};
  LoginState state_{home_.path() / "login.ini", std::chrono::minutes(10), [] {}};
  test::FakePasswordStore store_;
};

TEST_F(RememberedLoginTest, FlagsAreExactlyOneAndTheAccountIsKept) {
  RememberedLogin remembered(state_, nullptr);
  EXPECT_FALSE(remembered.RemembersPassword());
  EXPECT_FALSE(remembered.LogsInAutomatically());
  ASSERT_TRUE(ini_.Write("登录记忆", "密码记忆", "true").ok());
  EXPECT_FALSE(remembered.RemembersPassword()) << "only \"1\" counts";
  remembered.SetRemembersPassword(true);
  remembered.SetLogsInAutomatically(true);
  remembered.SetLastTypedAccount("123");
  EXPECT_EQ(ini_.Read("登录记忆", "密码记忆"), "1");
  EXPECT_EQ(ini_.Read("登录记忆", "自动记忆"), "1");
  EXPECT_EQ(remembered.LastTypedAccount(), "123");
  remembered.SetLogsInAutomatically(false);
  EXPECT_EQ(ini_.Read("登录记忆", "自动记忆"), "0");
}

TEST_F(RememberedLoginTest, WithoutAStoreThePasswordStaysInTheFile) {
  RememberedLogin remembered(state_, nullptr);
  remembered.RememberPassword("a", "p&w=\"1\" 😀");
  EXPECT_EQ(FilePassword(), "p&w=\"1\" 😀");
  EXPECT_EQ(remembered.LoadPassword(), "p&w=\"1\" 😀");
  remembered.ForgetPassword();
  EXPECT_EQ(FilePassword(), "");
}

TEST_F(RememberedLoginTest, AStoreKeepsThePasswordAndTheFileNone) {
  RememberedLogin remembered(state_, &store_);
  remembered.RememberPassword("a", "secret");
  EXPECT_EQ(store_.Kept(Key()), "secret");
  EXPECT_EQ(FilePassword(), "");
  EXPECT_EQ(remembered.LoadPassword(), "secret");
  remembered.ForgetPassword();
  EXPECT_EQ(store_.Kept(Key()), "<none>");
  EXPECT_EQ(remembered.LoadPassword(), "");
}

TEST_F(RememberedLoginTest, APasswordInTheFileMovesToTheStoreWhenRead) {
  ASSERT_TRUE(ini_.Write("登录帐密", "密码", "legacy").ok());
  ASSERT_TRUE(ini_.Write("登录帐密", "帐号", "kept").ok());
  store_.reachable = false;
  RememberedLogin remembered(state_, &store_);
  EXPECT_EQ(remembered.LoadPassword(), "legacy") << "no store: the file is all there is";
  EXPECT_EQ(FilePassword(), "legacy");
  store_.reachable = true;
  EXPECT_EQ(remembered.LoadPassword(), "legacy");
  EXPECT_EQ(store_.Kept(Key()), "legacy");
  EXPECT_EQ(FilePassword(), "");
  EXPECT_EQ(ini_.Read("登录帐密", "帐号"), "kept");
}

TEST_F(RememberedLoginTest, AnUnreachableStoreLeavesThePasswordInTheFile) {
  store_.reachable = false;
  RememberedLogin remembered(state_, &store_);
  remembered.RememberPassword("a", "pw");
  EXPECT_EQ(FilePassword(), "pw");
  EXPECT_EQ(remembered.LoadPassword(), "pw");
}

TEST_F(RememberedLoginTest, AChangedPasswordReplacesTheRememberedOneOfTheNextLogin) {
  RememberedLogin remembered(state_, nullptr);
  state_.RecordLogin("12345678");
  remembered.RememberPassword("12345678", "old");
  remembered.PasswordChangedOnService("12345678", "new");
  EXPECT_EQ(FilePassword(), "old") << "not remembering: nothing to update";
  remembered.SetRemembersPassword(true);
  remembered.PasswordChangedOnService("87654321", "other");
  EXPECT_EQ(FilePassword(), "old") << "another account's password is not the remembered one";
  remembered.PasswordChangedOnService("12345678", "new");
  EXPECT_EQ(FilePassword(), "new");
}

TEST(SecretPasswordStoreTest, NoSessionBusMeansNoStore) {
  test::UseNoSessionBus();
  SecretPasswordStore store;
  EXPECT_EQ(store.Lookup("/x/login.ini"), std::nullopt);
  EXPECT_FALSE(store.Store("/x/login.ini", "a", "pw"));
  EXPECT_FALSE(store.Clear("/x/login.ini"));
  // A session that names no bus at all: no bus is started for it.
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("XDG_RUNTIME_DIR", "/nonexistent", 1);
  EXPECT_EQ(store.Lookup("/x/login.ini"), std::nullopt);
  EXPECT_FALSE(store.Store("/x/login.ini", "a", "pw"));
}

TEST(SecretPasswordStoreTest, ABusWithoutASecretServiceMeansNoStore) {
  test::PrivateSessionBus bus(/*with_keyring=*/false);
  SecretPasswordStore store;
  EXPECT_EQ(store.Lookup("/x/login.ini"), std::nullopt);
  EXPECT_FALSE(store.Store("/x/login.ini", "a", "pw"));
}

TEST(SecretPasswordStoreKeyringTest, TheDesktopStoreKeepsRemembersAndForgets) {
  test::PrivateSessionBus keyring(/*with_keyring=*/true);
  test::TempHome home;
  LoginState state(home.path() / "login.ini", std::chrono::minutes(10), [] {});
  SecretPasswordStore store;
  IniFile ini(home.path() / "login.ini");
  ASSERT_TRUE(ini.Write("登录帐密", "密码", "from the file").ok());
  RememberedLogin remembered(state, &store);
  EXPECT_EQ(remembered.LoadPassword(), "from the file");
  EXPECT_EQ(ini.Read("登录帐密", "密码"), "") << "moved to the keyring";
  EXPECT_EQ(store.Lookup(state.login_ini().path().string()), "from the file");
  remembered.RememberPassword("a", "新密码 & more");
  EXPECT_EQ(SecretPasswordStore().Lookup(state.login_ini().path().string()), "新密码 & more");
  EXPECT_EQ(store.Lookup("/another/login.ini"), "") << "each login.ini has its own";
  remembered.ForgetPassword();
  EXPECT_EQ(store.Lookup(state.login_ini().path().string()), "");
}

}  // namespace
}  // namespace nuve::core
