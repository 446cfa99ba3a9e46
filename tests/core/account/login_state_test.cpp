#include "core/account/login_state.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/settings/ini_file.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

class LoginStateTest : public ::testing::Test {
 protected:
  std::string Stored(const char* key) const { return ini_.Read("登录配置", key); }

  test::TempHome home_;
  IniFile ini_{home_.path() / "login.ini"};
  LoginState state_{home_.path() / "login.ini", std::chrono::minutes(10), [] {}};
};

TEST_F(LoginStateTest, TheStoredFlagDecidesLoggedInAndTheLogoutItem) {
  // No file: not logged in, but the logout item is offered.
  EXPECT_FALSE(state_.IsLoggedIn());
  EXPECT_TRUE(state_.CanLogOut());
  for (const auto& [value, logged_in, can_log_out] :
       std::vector<std::tuple<std::string, bool, bool>>{{"1", true, true}, {"0", false, false},
                                                        {"01", false, true}, {"yes", false, true}}) {
    ASSERT_TRUE(ini_.Write("登录配置", "登录态", value).ok());
    EXPECT_EQ(state_.IsLoggedIn(), logged_in) << value;
    EXPECT_EQ(state_.CanLogOut(), can_log_out) << value;
  }
}

TEST_F(LoginStateTest, LoginAndLogoutWriteTheFileAndTellSubscribers) {
  ASSERT_TRUE(ini_.Write("登录帐密", "帐号", "kept").ok());
  int changes = 0;
  LoginState::Subscription subscription = state_.Subscribe([&] { ++changes; });
  state_.session().StartKeepAlive([](std::stop_token) { return RenewalResult::kRenewed; });

  state_.RecordLogin("12345678");
  EXPECT_EQ(Stored("登录态"), "1");
  EXPECT_EQ(Stored("帐号"), "12345678");
  EXPECT_EQ(state_.LastAccount(), "12345678");
  EXPECT_EQ(changes, 1);

  state_.LogOut();
  EXPECT_EQ(Stored("登录态"), "0");
  EXPECT_EQ(Stored("帐号"), "12345678") << "logging out keeps the account";
  EXPECT_FALSE(state_.session().KeepAliveRunning());
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(ini_.Read("登录帐密", "帐号"), "kept") << "other keys stay";

  subscription.Reset();
  state_.RecordLogin("1");
  EXPECT_EQ(changes, 2) << "a dropped subscription hears nothing";
  {
    LoginState::Subscription scoped = state_.Subscribe([&] { ++changes; });
  }
  state_.LogOut();
  EXPECT_EQ(changes, 2);

  struct stat st {};
  ASSERT_EQ(stat((home_.path() / "login.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "login.ini is owner-only";
}

}  // namespace
}  // namespace nuve::core
