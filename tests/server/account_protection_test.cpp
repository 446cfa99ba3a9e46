// The rules that keep an account its owner's and the database within
// bounds, over SQLite and over PostgreSQL: the e-mail change, the sessions a
// reset or a password change ends, reset links, bans, mail limits without
// letter case, the per-client login limit, quotas and the free-space
// reserve.
#include <gtest/gtest.h>

#include "server/security/security_policy.h"
#include "server/store/storage_reserve.h"
#include "server_process.h"
#include "service_harness.h"

namespace nuve::test {
namespace {

using server::kDefaultAppKey;
using server::kMinuteMs;

std::string TokenOf(const std::string& link) { return link.substr(link.find("t=") + 2); }

std::string Gif(int n) { return "GIF89a" + std::to_string(n) + std::string(100, '\x11'); }

class AccountProtection : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    h_ = ServiceHarness::Create(GetParam());
    if (!h_) GTEST_SKIP() << "no PostgreSQL cluster (run through ctest)";
  }
  nlohmann::json Login(const std::string& account, const std::string& password) {
    return h_->Call("/api/login.e",
                    {{"account", account}, {"password", password}, {"appKey", kDefaultAppKey}, {"loginKey", ""}});
  }
  bool Alive(const std::string& token) { return h_->Call("/api/comm/keep.e", {{"token", token}})["result"] == true; }
  std::string Email(const std::string& token) {
    return h_->Call("/api/info.e", {{"token", token}})["responseBody"]["email"].get<std::string>();
  }
  // A reset link mailed to `email` for `account`.
  std::string ResetLink(const std::string& account, const std::string& email) {
    h_->clock.Advance(server::kMailIntervalMs);
    EXPECT_EQ(h_->Call("/api/sendRePwdByEmail.e", {{"account", account}, {"appKey", kDefaultAppKey}})["result"], true);
    return TokenOf(LinkInMail(h_->mailer.LastTo(email)));
  }
  // The form's CSRF value of the reset page for link `t`; "" when it shows none.
  std::string ResetForm(const std::string& t) {
    const server::PageReply page = h_->reset_page().Show(t);
    return page.set_cookie.empty() ? "" : page.set_cookie.substr(page.set_cookie.find('=') + 1, 64);
  }
  int Reset(const std::string& t, const std::string& password, std::string csrf = "") {
    if (csrf.empty()) csrf = ResetForm(t);
    server::ApiRequest form;
    form.fields = {{"t", t}, {"csrf", csrf}, {"password", password}, {"password2", password}};
    return h_->reset_page().Submit(form, "nuve_reset_csrf=" + csrf).status;
  }
  std::unique_ptr<ServiceHarness> h_;
};

TEST_P(AccountProtection, AnEmailChangeTakesThePasswordAndALinkSentToTheNewAddress) {
  ASSERT_EQ(h_->Register("12345678", "right-1", "old@example.com")["result"], true);
  const std::string token = h_->Login("12345678", "right-1");
  const auto direct = h_->Call("/api/updateUserInfo.e", {{"token", token}, {"email", "thief@example.com"}});
  EXPECT_EQ(direct["message"], "修改邮箱需要验证当前密码，并通过发往新邮箱的链接确认");
  EXPECT_EQ(Email(token), "old@example.com") << "a token alone changes no address";

  const auto Change = [&](const std::string& password, const std::string& email) {
    return h_->Call("/api/changeEmail.e", {{"token", token}, {"password", password}, {"email", email}});
  };
  EXPECT_EQ(Change("wrong-1", "new@example.com")["message"], "当前密码错误");
  EXPECT_EQ(h_->mailer.CountTo("new@example.com"), 0);
  EXPECT_EQ(Change("right-1", "OLD@example.com")["message"], "新邮箱与当前邮箱相同");
  const auto asked = Change("right-1", "new@example.com");
  EXPECT_EQ(asked["message"], "确认邮件已发送至 n***@example.com，请在30分钟内打开邮件中的链接完成修改");
  EXPECT_NE(h_->mailer.LastTo("old@example.com").find("n***@example.com"), std::string::npos)
      << "the old address hears of it";
  const std::string first_link = LinkInMail(h_->mailer.LastTo("new@example.com"));
  ASSERT_NE(first_link.find("/email?t="), std::string::npos) << first_link;
  EXPECT_EQ(h_->email_page().Show(TokenOf(first_link)).status, 200);
  EXPECT_EQ(Email(token), "old@example.com") << "opening the link changes nothing yet";

  h_->clock.Advance(server::kMailIntervalMs);
  ASSERT_EQ(Change("right-1", "newer@example.com")["result"], true);
  const std::string second = TokenOf(LinkInMail(h_->mailer.LastTo("newer@example.com")));
  server::ApiRequest form;
  form.fields = {{"t", TokenOf(first_link)}};
  EXPECT_EQ(h_->email_page().Confirm(form).status, 410) << "a new link voids the older one";
  form.fields = {{"t", second}};
  EXPECT_EQ(h_->email_page().Confirm(form).status, 200);
  EXPECT_EQ(Email(token), "newer@example.com");
  EXPECT_EQ(h_->email_page().Confirm(form).status, 410) << "the link is used up";
  EXPECT_FALSE(ResetLink("12345678", "newer@example.com").empty()) << "reset links go to the new address";
}

TEST_P(AccountProtection, AResetEndsEverySessionAPasswordChangeEveryOtherAndANewLinkVoidsOlderOnes) {
  ASSERT_EQ(h_->Register("23456789", "pass-one", "s@example.com")["result"], true);
  const std::string mine = h_->Login("23456789", "pass-one");
  const std::string other = h_->Login("23456789", "pass-one");
  const auto Change = [&](const std::string& from, const std::string& to, const std::string& token) {
    ServiceHarness::Fields fields = {{"account", "23456789"}, {"appKey", kDefaultAppKey}, {"oldPwd", from},
                                     {"newPwd", to}};
    if (!token.empty()) fields["token"] = token;
    return h_->Call("/api/replyPassword.e", fields);
  };
  ASSERT_EQ(Change("pass-one", "pass-two", mine)["result"], true);
  EXPECT_TRUE(Alive(mine)) << "the session that changed the password stays";
  EXPECT_FALSE(Alive(other)) << "whoever else knew the old one is logged out";
  ASSERT_EQ(Change("pass-two", "pass-three", "")["result"], true);
  EXPECT_FALSE(Alive(mine)) << "without a token every session ends";

  const std::string session = h_->Login("23456789", "pass-three");
  const std::string older = ResetLink("23456789", "s@example.com");
  const std::string older_form = ResetForm(older);
  const std::string newer = ResetLink("23456789", "s@example.com");
  EXPECT_EQ(h_->reset_page().Show(older).status, 410) << "a newer link voids the older one";
  EXPECT_EQ(Reset(older, "pass-four", older_form), 410) << "also in a form opened before";
  EXPECT_EQ(Reset(newer, "pass-four"), 200);
  EXPECT_FALSE(Alive(session));
  EXPECT_EQ(Login("23456789", "pass-four")["result"], true);
}

TEST_P(AccountProtection, ABannedAccountCannotUseALinkIssuedBeforeTheBan) {
  ASSERT_EQ(h_->Register("34567890", "pass-one", "b@example.com")["result"], true);
  const std::string link = ResetLink("34567890", "b@example.com");
  const std::string form = ResetForm(link);
  h_->store().Write([](server::Tx& tx) { tx.SetUserState("34567890", server::UserState::kBanned); });
  EXPECT_EQ(h_->reset_page().Show(link).status, 403);
  EXPECT_EQ(Reset(link, "pass-two", form), 403) << "a form opened before the ban";
  EXPECT_EQ(Login("34567890", "pass-one")["result"], true) << "the password stays";
}

TEST_P(AccountProtection, MailLimitsTakeOneAddressInAnyLetterCaseAsOne) {
  const std::vector<std::string> spellings = {"Case@Example.com", "case@example.com", "CASE@EXAMPLE.COM",
                                              "cAsE@eXaMpLe.CoM"};
  int mailed = 0;
  for (const std::string& email : spellings) {
    if (h_->Call("/api/sendRegCodeByEmail.e", {{"email", email}, {"appKey", kDefaultAppKey}})["result"] == true) {
      ++mailed;
    }
  }
  EXPECT_EQ(mailed, 1);
  int sent = 0;
  for (const std::string& email : spellings) sent += h_->mailer.CountTo(email);
  EXPECT_EQ(sent, 1);
  // The code works whichever way the address is spelt at registration.
  const std::string code = CodeInMail(h_->mailer.LastTo("Case@Example.com"));
  EXPECT_EQ(h_->Call("/api/register.e", {{"account", "45678901"}, {"password", "pass-one"}, {"appKey", kDefaultAppKey},
                                         {"email", "CASE@example.com"}, {"code", code}})["result"],
            true);
}

TEST_P(AccountProtection, OneClientSprayingGuessesOverManyAccountsIsStopped) {
  ASSERT_EQ(h_->Register("56789012", "right-1", "v@example.com")["result"], true);
  h_->client_address = "198.51.100.1";
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(Login(std::to_string(70000000 + i), "guess-1")["code"], 1) << i;  // one guess per account
  }
  const auto stopped = Login("56789012", "right-1");
  EXPECT_EQ(stopped["code"], 3) << "the client's logins wait, the right password too";
  EXPECT_EQ(stopped["message"], "密码错误次数过多，请15分钟后再试");
  h_->client_address = "198.51.100.2";
  EXPECT_EQ(Login("56789012", "right-1")["result"], true) << "other clients are not held up";
  h_->client_address = "198.51.100.1";
  h_->clock.Advance(15 * kMinuteMs);
  EXPECT_EQ(Login("56789012", "right-1")["result"], true);

  // The failed logins of accounts that do not exist go with the window.
  const std::int64_t now = h_->clock.NowMs();
  h_->store().Write([&](server::Tx& tx) {
    tx.Purge(now, now - h_->config().session_ttl_ms, now - server::kDayMs, now - server::kLoginFailureWindowMs + 1);
  });
  EXPECT_EQ(h_->store().Read([](server::Tx& tx) { return tx.CountLoginFailures("70000000", 0); }), 0);
  EXPECT_EQ(h_->store().Read([](server::Tx& tx) { return tx.CountClientFailures("198.51.100.1", 0); }), 0);
}

TEST_P(AccountProtection, QuotasKeepOneAccountFromFillingTheDatabase) {
  ASSERT_EQ(h_->Register("67890123", "right-1", "q@example.com")["result"], true);
  std::string token = h_->Login("67890123", "right-1");
  // Sessions last ten minutes: a new day takes a new login.
  const auto NextDay = [&] {
    h_->clock.Advance(server::kDayMs);
    token = h_->Login("67890123", "right-1");
  };
  for (int i = 0; i < server::kImagesPerDay; ++i) ASSERT_EQ(h_->Upload(token, Gif(i))["result"], true) << i;
  EXPECT_EQ(h_->Upload(token, Gif(99))["message"], "今日上传图片次数已达上限，请明天再试");
  EXPECT_EQ(h_->Upload(token, Gif(3))["result"], true) << "an image the service holds costs nothing";
  NextDay();
  EXPECT_EQ(h_->Upload(token, Gif(99))["result"], true);
  // Four more days fill the account's fifty.
  for (int day = 0; day < 4; ++day) {
    NextDay();
    for (int i = 0; i < server::kImagesPerDay - (day == 3 ? 1 : 0); ++i) {
      ASSERT_EQ(h_->Upload(token, Gif(100 + day * 10 + i))["result"], true);
    }
  }
  NextDay();
  EXPECT_EQ(h_->Upload(token, Gif(999))["message"], "上传图片数量已达上限");

  for (int i = 0; i < server::kFeedbackPerDay; ++i) {
    ASSERT_EQ(h_->Call("/api/dofeed.e", {{"token", token}, {"title", "t"}, {"content", "c"}})["result"], true);
  }
  EXPECT_EQ(h_->Call("/api/dofeed.e", {{"token", token}, {"title", "t"}, {"content", "c"}})["message"],
            "今日反馈次数已达上限，请明天再试");

  const std::string value(32 * 1024, 'v');
  for (int i = 0; i < 32; ++i) {
    ASSERT_EQ(h_->Call("/api/setUserData.e", {{"token", token}, {"key", "k" + std::to_string(i)}, {"value", value}})
                  ["result"],
              true);
  }
  EXPECT_EQ(h_->Call("/api/setUserData.e", {{"token", token}, {"key", "more"}, {"value", "x"}})["message"],
            "数据总量已达上限");
  EXPECT_EQ(h_->Call("/api/setUserData.e", {{"token", token}, {"key", "k0"}, {"value", "short"}})["result"], true)
      << "a value may always shrink";
}

TEST_P(AccountProtection, BelowTheFreeSpaceReserveWritesAreRefusedAndLoginsGoOn) {
  ASSERT_EQ(h_->Register("78901234", "right-1", "r@example.com")["result"], true);
  const std::string token = h_->Login("78901234", "right-1");
  h_->SetStorageLow(true);
  const auto refused = h_->Call("/api/dofeed.e", {{"token", token}, {"title", "t"}, {"content", "c"}});
  EXPECT_EQ(refused["message"], "服务器存储空间不足，请稍后再试");
  EXPECT_EQ(refused["code"], 5);
  EXPECT_EQ(h_->Upload(token, Gif(1))["code"], 5);
  EXPECT_EQ(h_->Call("/api/setUserData.e", {{"token", token}, {"key", "k"}, {"value", "v"}})["code"], 5);
  EXPECT_EQ(h_->Call("/api/sendRegCodeByEmail.e", {{"email", "z@example.com"}, {"appKey", kDefaultAppKey}})["code"], 5);
  EXPECT_FALSE(h_->Login("78901234", "right-1").empty()) << "logins go on in the reserve";
  h_->clock.Advance(2 * kMinuteMs);
  EXPECT_TRUE(Alive(token)) << "and keep-alives";
  EXPECT_EQ(Email(token), "r@example.com") << "and reads";
  h_->SetStorageLow(false);
  EXPECT_EQ(h_->Call("/api/dofeed.e", {{"token", token}, {"title", "t"}, {"content", "c"}})["result"], true);
}

INSTANTIATE_TEST_SUITE_P(Backends, AccountProtection, testing::Values(Backend::kSqlite, Backend::kPostgres),
                         BackendName);

}  // namespace
}  // namespace nuve::test
