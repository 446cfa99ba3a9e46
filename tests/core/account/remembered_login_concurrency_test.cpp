// Password changes decided one after another on the user-interface thread
// and applied by worker threads in any order: the last decision wins.
#include <gtest/gtest.h>

#include "core/account/remembered_login.h"
#include "core/settings/ini_file.h"
#include "fake_password_store.h"
#include "support/queue_ui_poster.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

TEST(RememberedLoginConcurrencyTest, TheLastDecisionWinsWhateverTheOrderOfTheWorkers) {
  test::TempHome home;
  test::FakePasswordStore store;
  store.pause_ms = 1;
  LoginState state(home.path() / "login.ini", std::chrono::minutes(10), [] {});
  test::QueueUiPoster poster;
  for (int round = 0; round < 10; ++round) {
    {
      TaskRunner runner(poster);
      RememberedLogin remembered(state, &store, &runner);
      // What tabbing out of "记住密码" and then pressing "登录" decide.
      for (int i = 0; i < 5; ++i) {
        remembered.ForgetPassword();
        remembered.RememberPassword("a", "pw" + std::to_string(i));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }  // the runner joins its workers
    EXPECT_EQ(store.Kept(state.login_ini().path().string()), "pw4") << round;
    EXPECT_EQ(IniFile(home.path() / "login.ini").Read("登录帐密", "密码"), "");
  }
}

}  // namespace
}  // namespace nuve::core
