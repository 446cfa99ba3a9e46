// The service's rules, with the clock under the test's control, over SQLite
// and over PostgreSQL: registration codes, mail limits, the login throttle,
// session expiry, bans, closed signups and the reset page.
#include <gtest/gtest.h>

#include <thread>

#include "server/security/security_policy.h"
#include "server_process.h"
#include "service_harness.h"

namespace nuve::test {
namespace {

using server::kDefaultAppKey;
using server::kMinuteMs;

class AccountRules : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    h_ = ServiceHarness::Create(GetParam());
    if (!h_) GTEST_SKIP() << "no PostgreSQL cluster (run through ctest)";
  }
  nlohmann::json SendCode(const std::string& email) {
    return h_->Call("/api/sendRegCodeByEmail.e", {{"email", email}, {"appKey", kDefaultAppKey}});
  }
  nlohmann::json RegisterWith(const std::string& account, const std::string& email, const std::string& code) {
    return h_->Call("/api/register.e", {{"account", account}, {"password", "secret1"}, {"appKey", kDefaultAppKey},
                                        {"email", email}, {"code", code}});
  }
  nlohmann::json Login(const std::string& account, const std::string& password) {
    return h_->Call("/api/login.e",
                    {{"account", account}, {"password", password}, {"appKey", kDefaultAppKey}, {"loginKey", ""}});
  }
  std::unique_ptr<ServiceHarness> h_;
};

TEST_P(AccountRules, RegisterCodesAreSingleUseLimitedInTriesAndTime) {
  ASSERT_EQ(SendCode("a@example.com")["result"], true);
  const std::string code = CodeInMail(h_->mailer.LastTo("a@example.com"));
  ASSERT_EQ(code.size(), 4u);
  const std::string wrong = code == "0000" ? "0001" : "0000";
  for (int i = 0; i < 5; ++i) EXPECT_EQ(RegisterWith("12345678", "a@example.com", wrong)["message"], "验证码错误");
  EXPECT_EQ(RegisterWith("12345678", "a@example.com", code)["message"], "验证码已失效，请重新获取")
      << "five tries used up the code, the right one too";

  h_->clock.Advance(server::kMailIntervalMs);
  ASSERT_EQ(SendCode("a@example.com")["result"], true);
  const std::string second = CodeInMail(h_->mailer.LastTo("a@example.com"));
  EXPECT_EQ(RegisterWith("12345678", "a@example.com", second)["result"], true);
  EXPECT_EQ(RegisterWith("87654321", "a@example.com", second)["message"], "验证码已失效，请重新获取")
      << "a code serves one registration";

  h_->clock.Advance(server::kMailIntervalMs);
  ASSERT_EQ(SendCode("a@example.com")["result"], true);
  const std::string late = CodeInMail(h_->mailer.LastTo("a@example.com"));
  h_->clock.Advance(10 * kMinuteMs);
  EXPECT_EQ(RegisterWith("87654321", "a@example.com", late)["message"], "验证码已失效，请重新获取");
}

TEST_P(AccountRules, MailsAreSpacedAndCappedAndAFailedMailGivesItsPlaceBack) {
  ASSERT_EQ(SendCode("b@example.com")["result"], true);
  h_->clock.Advance(20 * 1000);
  const auto early = SendCode("b@example.com");
  EXPECT_EQ(early["result"], false);
  EXPECT_EQ(early["message"], "发送过于频繁，请40秒后再试");
  for (int i = 1; i < server::kMailsPerAddressPerDay; ++i) {
    h_->clock.Advance(server::kMailIntervalMs);
    ASSERT_EQ(SendCode("b@example.com")["result"], true) << i;
  }
  h_->clock.Advance(server::kMailIntervalMs);
  EXPECT_EQ(SendCode("b@example.com")["message"], "今日发送次数已达上限，请明天再试");

  h_->mailer.failing = true;
  const auto failed = SendCode("c@example.com");
  EXPECT_EQ(failed["message"], "邮件发送失败，请稍后再试");
  EXPECT_EQ(failed["code"], 5);
  h_->mailer.failing = false;
  EXPECT_EQ(SendCode("c@example.com")["result"], true) << "the user may try again at once";
}

TEST_P(AccountRules, FiveWrongPasswordsStopPasswordChecksForFifteenMinutes) {
  ASSERT_EQ(h_->Register("23456789", "right-1", "d@example.com")["result"], true);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Login("23456789", "wrong-1")["message"], "账号或密码错误");
  EXPECT_EQ(Login("23456789", "wrong-1")["message"], "密码错误次数过多，请15分钟后再试");
  const auto blocked = Login("23456789", "right-1");
  EXPECT_EQ(blocked["result"], false) << "the right password is not even checked";
  EXPECT_EQ(blocked["code"], 3);
  // The password change is the same door.
  EXPECT_EQ(h_->Call("/api/replyPassword.e", {{"account", "23456789"}, {"appKey", kDefaultAppKey},
                                              {"oldPwd", "right-1"}, {"newPwd", "other-1"}})["code"],
            3);
  h_->clock.Advance(10 * kMinuteMs);
  EXPECT_EQ(Login("23456789", "right-1")["message"], "密码错误次数过多，请5分钟后再试");
  h_->clock.Advance(5 * kMinuteMs);
  EXPECT_EQ(Login("23456789", "right-1")["result"], true);
  EXPECT_EQ(Login("23456789", "wrong-1")["message"], "账号或密码错误") << "a login starts the count again";
}

TEST_P(AccountRules, ParallelGuessesDoNotGetPastTheThrottle) {
  ASSERT_EQ(h_->Register("34567890", "right-1", "e@example.com")["result"], true);
  std::vector<std::thread> guessers;
  for (int i = 0; i < 12; ++i) guessers.emplace_back([&, i] { Login("34567890", "guess-" + std::to_string(i)); });
  for (auto& t : guessers) t.join();
  EXPECT_EQ(Login("34567890", "right-1")["code"], 3);
}

TEST_P(AccountRules, SessionsLiveWhileUsedAndDieTenMinutesAfter) {
  ASSERT_EQ(h_->Register("45678901", "right-1", "f@example.com")["result"], true);
  const std::string token = h_->Login("45678901", "right-1");
  ASSERT_EQ(token.size(), 64u);
  for (int i = 0; i < 3; ++i) {
    h_->clock.Advance(9 * kMinuteMs);
    EXPECT_EQ(h_->Call("/api/comm/keep.e", {{"token", token}})["result"], true) << i;
  }
  h_->clock.Advance(10 * kMinuteMs + 1);
  const auto gone = h_->Call("/api/info.e", {{"token", token}});
  EXPECT_EQ(gone["code"], 2);
  EXPECT_EQ(gone["message"], "登录已过期，请重新登录");
  EXPECT_EQ(h_->Call("/api/comm/keep.e", {{"token", std::string(64, 'a')}})["result"], false);
}

TEST_P(AccountRules, ABannedAccountSeesItsStateAndCannotWrite) {
  ASSERT_EQ(h_->Register("56789012", "right-1", "g@example.com")["result"], true);
  h_->store().Write([](server::Tx& tx) { tx.SetUserState("56789012", server::UserState::kBanned); });
  const std::string token = h_->Login("56789012", "right-1");
  ASSERT_FALSE(token.empty()) << "a banned user may log in and read why";
  EXPECT_EQ(h_->Call("/api/info.e", {{"token", token}})["responseBody"]["state"], "banned");
  for (const auto& [path, fields] : std::vector<std::pair<std::string, ServiceHarness::Fields>>{
           {"/api/dofeed.e", {{"token", token}, {"title", "t"}, {"content", "c"}}},
           {"/api/setUserData.e", {{"token", token}, {"key", "k"}, {"value", "v"}}},
           {"/api/updateUserInfo.e", {{"token", token}, {"name", "n"}}},
           {"/api/sendRePwdByEmail.e", {{"account", "56789012"}, {"appKey", kDefaultAppKey}}}}) {
    const auto reply = h_->Call(path, fields);
    EXPECT_EQ(reply["message"], "该号已被封停！") << path;
    EXPECT_EQ(reply["code"], 4) << path;
  }
}

TEST_P(AccountRules, ClosedSignupsAndUnknownApplicationKeysAreRefused) {
  h_->config().signups_open = false;
  EXPECT_EQ(SendCode("h@example.com")["message"], "注册已关闭");
  EXPECT_EQ(RegisterWith("12345678", "h@example.com", "1234")["message"], "注册已关闭");
  for (const std::string path : {"/api/login.e", "/api/sendRegCodeByEmail.e", "/api/replyPassword.e",
                                 "/api/sendRePwdByEmail.e", "/api/announcement/list.e", "/api/announcement/get.e"}) {
    EXPECT_EQ(h_->Call(path, {{"appKey", "not-our-key"}, {"account", "12345678"}})["message"],
              "应用密钥无效，请使用正版NUVE浏览器")
        << path;
  }
}

TEST_P(AccountRules, TheResetLinkSetsANewPasswordOnceAndEndsSessions) {
  ASSERT_EQ(h_->Register("67890123", "old-pass", "i@example.com")["result"], true);
  const std::string token = h_->Login("67890123", "old-pass");
  h_->clock.Advance(server::kMailIntervalMs);
  const auto sent = h_->Call("/api/sendRePwdByEmail.e", {{"account", "67890123"}, {"appKey", kDefaultAppKey}});
  EXPECT_EQ(sent["message"], "重置密码邮件已发送至 i***@example.com，请查收");
  const std::string link = LinkInMail(h_->mailer.LastTo("i@example.com"));
  ASSERT_FALSE(link.empty());
  const std::string t = link.substr(link.find("t=") + 2);

  const server::PageReply page = h_->reset_page().Show(t);
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.set_cookie.find("SameSite=Strict"), std::string::npos);
  const std::string csrf = page.set_cookie.substr(page.set_cookie.find('=') + 1, 64);
  server::ApiRequest form;
  form.fields = {{"t", t}, {"csrf", csrf}, {"password", "new-pass"}, {"password2", "new-pass"}};
  EXPECT_EQ(h_->reset_page().Submit(form, "nuve_reset_csrf=" + std::string(64, '0')).status, 400)
      << "a post from another site has no matching cookie";
  EXPECT_EQ(h_->reset_page().Submit(form, "x=1; nuve_reset_csrf=" + csrf).status, 200);
  EXPECT_EQ(h_->reset_page().Submit(form, "nuve_reset_csrf=" + csrf).status, 410) << "the link is used up";
  EXPECT_EQ(Login("67890123", "old-pass")["result"], false);
  EXPECT_EQ(Login("67890123", "new-pass")["result"], true);
  EXPECT_EQ(h_->Call("/api/comm/keep.e", {{"token", token}})["result"], false) << "old sessions end";

  h_->clock.Advance(server::kMailIntervalMs);
  h_->Call("/api/sendRePwdByEmail.e", {{"account", "67890123"}, {"appKey", kDefaultAppKey}});
  const std::string late = LinkInMail(h_->mailer.LastTo("i@example.com"));
  h_->clock.Advance(30 * kMinuteMs);
  EXPECT_EQ(h_->reset_page().Show(late.substr(late.find("t=") + 2)).status, 410);
}

TEST_P(AccountRules, OneAccountNumberRegistersOnceEvenInParallel) {
  for (const std::string email : {"j1@example.com", "j2@example.com", "j3@example.com", "j4@example.com"}) {
    ASSERT_EQ(SendCode(email)["result"], true);
  }
  std::atomic<int> registered{0};
  std::vector<std::thread> racers;
  for (const std::string email : {"j1@example.com", "j2@example.com", "j3@example.com", "j4@example.com"}) {
    const std::string code = CodeInMail(h_->mailer.LastTo(email));
    racers.emplace_back([&, email, code] {
      if (RegisterWith("78901234", email, code)["result"] == true) ++registered;
    });
  }
  for (auto& t : racers) t.join();
  EXPECT_EQ(registered, 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, AccountRules, testing::Values(Backend::kSqlite, Backend::kPostgres), BackendName);

}  // namespace
}  // namespace nuve::test
