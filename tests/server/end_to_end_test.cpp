// The browser's AccountClient against the real nuve-account-server on
// 127.0.0.1, over SQLite and over PostgreSQL: the whole account menu, the
// reset page, a restart, and two processes on one database.
#include <gtest/gtest.h>
#include <httplib.h>

#include <regex>

#include "browser_client.h"
#include "core/account/announcement.h"
#include "core/account/uploaded_image.h"
#include "core/account/user_info.h"
#include "core/account/record_reader.h"
#include "server_process.h"
#include "service_harness.h"
#include "test_postgres.h"

namespace nuve::test {
namespace {

const std::string kPng = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(3000, '\x11');

class EndToEnd : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "nuve-e2e.XXXXXX").string();
    data_ = mkdtemp(pattern.data());
    storage_ = {"--data", data_.string()};
    if (GetParam() == Backend::kPostgres) {
      database_ = TestDatabase::Create();
      if (!database_) GTEST_SKIP() << "no PostgreSQL cluster (run through ctest)";
      storage_.insert(storage_.end(), {"--database", database_->url()});
    }
    server_ = Start();
  }
  void TearDown() override {
    server_.reset();
    std::filesystem::remove_all(data_);
  }
  std::unique_ptr<ServerProcess> Start(std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), storage_.begin(), storage_.end());
    return std::make_unique<ServerProcess>(extra);
  }
  CommandResult Admin(std::vector<std::string> words, const std::string& input = "") {
    words.insert(words.begin(), storage_.begin(), storage_.end());
    words.insert(words.begin(), {"--password-hash", "light"});
    return RunServerCommand(words, input);
  }
  // Registers through the browser's client with the code from the mail log.
  void Register(BrowserClient& b, const std::string& account, const std::string& password,
                const std::string& email, const std::string& avatar = "") {
    const core::ApiResponse sent = b.client.SendRegisterCodeMail(email);
    ASSERT_TRUE(sent.IsSuccess()) << sent.Text();
    core::RegisterFields fields;
    fields.email = email;
    fields.name = "李雷";
    fields.phone = "13800138000";
    fields.head_img = avatar;
    fields.code = CodeInMail(LastMailTo(server_->Log(), email));
    const core::ApiResponse reply = b.client.Register(account, password, fields);
    ASSERT_TRUE(reply.IsSuccess()) << reply.Text();
  }

  std::filesystem::path data_;
  std::vector<std::string> storage_;
  std::unique_ptr<TestDatabase> database_;
  std::unique_ptr<ServerProcess> server_;
  core::RecordReader codec_;
};

TEST_P(EndToEnd, TheWholeAccountMenuWorks) {
  BrowserClient b(server_->host());
  Register(b, "12345678", "p&w=d+%1", "lilei@example.com", kPng);
  ASSERT_TRUE(b.client.Login("12345678", "p&w=d+%1").IsSuccess());
  EXPECT_EQ(b.session.Token().size(), 64u);
  EXPECT_TRUE(b.client.KeepAlive());

  const core::UserInfo me = b.client.GetInfo().ToUserInfo();
  EXPECT_EQ(me.Account(), "12345678");
  EXPECT_EQ(me.Email(), "lilei@example.com");
  EXPECT_EQ(me.LoginAddress(), "127.0.0.1");
  EXPECT_EQ(me.UserLoginCount(), 1);
  EXPECT_TRUE(me.IsAccountNormal());
  EXPECT_TRUE(me.HeadImage() == kPng) << "the avatar is served at headUrl: " << me.HeadUrl();
  const int id = me.Id();
  EXPECT_GT(id, 0);

  const core::ApiResponse other = b.client.GetUserInfoById(id);
  EXPECT_TRUE(other.IsSuccess());
  EXPECT_EQ(other.Text().find("lilei@"), std::string::npos) << "no e-mail in another's view";

  EXPECT_TRUE(b.client.ChangePassword("12345678", "p&w=d+%1", "新密码abc").IsSuccess());
  EXPECT_FALSE(b.client.Login("12345678", "p&w=d+%1").IsSuccess());
  ASSERT_TRUE(b.client.Login("12345678", "新密码abc").IsSuccess());

  EXPECT_TRUE(b.client.SendFeedback("用户账号：12345678", "页面打不开\r\n第二行").IsSuccess());
  EXPECT_NE(Admin({"feedback", "list"}).out.find("页面打不开"), std::string::npos);

  ASSERT_EQ(Admin({"announce", "add", "维护通知", "今晚维护"}).code, 0);
  std::vector<core::Announcement> list;
  EXPECT_EQ(codec_.ParseAnnouncements(b.client.ListAnnouncements().ResponseBody(), list), 1);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].Title(), "维护通知");
  EXPECT_EQ(b.client.GetAnnouncement(list[0].Id()).BodyField("title"), "维护通知");
  EXPECT_EQ(b.client.GetAnnouncement().BodyField("id"), std::to_string(list[0].Id()));
  EXPECT_FALSE(b.client.GetAnnouncement(99999).IsSuccess());

  EXPECT_TRUE(b.client.SetUserData("主页", "a=1&b=2+3 '; DROP TABLE users;--").IsSuccess());
  EXPECT_EQ(b.client.GetUserData("主页").ResponseBody(), "a=1&b=2+3 '; DROP TABLE users;--");

  const std::string picture = std::string("GIF89a") + std::string(5000, '\x22');
  const core::UploadedImage first = codec_.MakeUploadedImage(b.client.UploadImage(picture).ResponseBody());
  EXPECT_EQ(first.Hash().size(), 32u);
  const core::ApiResponse again = b.client.UploadImage(picture);
  EXPECT_TRUE(again.IsSuccess()) << "the service knows the image by its MD5";
  EXPECT_EQ(codec_.MakeUploadedImage(again.ResponseBody()).Id(), first.Id());
  core::UserInfoUpdate update;
  update.head_img = first.Ossurl();
  update.name = "韩梅梅";
  EXPECT_TRUE(b.client.UpdateUserInfo(update).IsSuccess());
  EXPECT_TRUE(b.client.GetInfo().ToUserInfo().HeadImage() == picture);

  ASSERT_EQ(Admin({"user", "ban", "12345678"}).code, 0);
  EXPECT_FALSE(b.client.GetInfo().ToUserInfo().IsAccountNormal()) << "the personal centre shows 该号已被封停！";
  EXPECT_EQ(b.client.SendFeedback("t", "c").Message(), "该号已被封停！");
  ASSERT_EQ(Admin({"user", "unban", "12345678"}).code, 0);
  EXPECT_TRUE(b.client.GetInfo().ToUserInfo().IsAccountNormal());

  BrowserClient stranger(server_->host(), "00000000-0000-0000-0000-000000000000");
  EXPECT_EQ(stranger.client.Login("12345678", "新密码abc").Message(), "应用密钥无效，请使用正版NUVE浏览器");
  for (int i = 0; i < 5; ++i) b.client.Login("12345678", "wrong-password");
  const core::ApiResponse throttled = b.client.Login("12345678", "新密码abc");
  EXPECT_FALSE(throttled.IsSuccess());
  EXPECT_NE(throttled.Message().find("分钟后再试"), std::string::npos) << throttled.Message();
}

TEST_P(EndToEnd, TheResetLinkOpensAPageThatSetsTheNewPassword) {
  BrowserClient b(server_->host());
  Register(b, "23456789", "old-secret", "hanmeimei@example.com");
  const core::ApiResponse sent = b.client.SendPasswordResetMail("23456789");
  ASSERT_TRUE(sent.IsSuccess()) << sent.Text();
  const std::string link = LinkInMail(LastMailTo(server_->Log(), "hanmeimei@example.com"));
  ASSERT_EQ(link.rfind(server_->url() + "/reset?t=", 0), 0u) << link;

  httplib::Client web("127.0.0.1", server_->port());
  const auto page = web.Get(link.substr(server_->url().size()));
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("重置NUVE浏览器账号密码"), std::string::npos);
  EXPECT_EQ(page->get_header_value("Referrer-Policy"), "no-referrer");
  std::smatch csrf;
  ASSERT_TRUE(std::regex_search(page->body, csrf, std::regex("name=\"csrf\" value=\"([0-9a-f]{64})\"")));
  const std::string cookie = page->get_header_value("Set-Cookie");
  const std::string t = link.substr(link.find("t=") + 2);
  const httplib::Params form = {{"t", t}, {"csrf", csrf[1]}, {"password", "新的密码123"}, {"password2", "新的密码123"}};

  const auto forged = web.Post("/reset", form);  // a post from elsewhere carries no cookie
  ASSERT_TRUE(forged);
  EXPECT_EQ(forged->status, 400);
  const auto done = web.Post("/reset", {{"Cookie", cookie.substr(0, cookie.find(';'))}}, form);
  ASSERT_TRUE(done);
  EXPECT_EQ(done->status, 200);
  EXPECT_NE(done->body.find("密码已重置"), std::string::npos);
  EXPECT_FALSE(b.client.Login("23456789", "old-secret").IsSuccess());
  EXPECT_TRUE(b.client.Login("23456789", "新的密码123").IsSuccess());
  EXPECT_EQ(web.Get(link.substr(server_->url().size()))->status, 410) << "the link is used up";
}

TEST_P(EndToEnd, ARestartLosesNothing) {
  BrowserClient b(server_->host());
  Register(b, "34567890", "secret-1", "restart@example.com", kPng);
  ASSERT_TRUE(b.client.Login("34567890", "secret-1").IsSuccess());
  ASSERT_TRUE(b.client.SetUserData("k", "v").IsSuccess());
  ASSERT_EQ(server_->Stop(), 0);

  server_ = Start();
  BrowserClient after(server_->host());
  after.session.SetToken(b.session.Token());
  EXPECT_TRUE(after.client.KeepAlive()) << "the session survives the restart";
  EXPECT_EQ(after.client.GetUserData("k").ResponseBody(), "v");
  EXPECT_TRUE(after.client.GetInfo().ToUserInfo().HeadImage() == kPng);
  EXPECT_TRUE(after.client.Login("34567890", "secret-1").IsSuccess());
}

TEST_P(EndToEnd, AnUnusedLoginExpires) {
  server_ = Start({"--session-ttl", "1"});
  BrowserClient b(server_->host());
  Register(b, "45678901", "secret-1", "ttl@example.com");
  ASSERT_TRUE(b.client.Login("45678901", "secret-1").IsSuccess());
  EXPECT_TRUE(b.client.KeepAlive());
  std::this_thread::sleep_for(std::chrono::milliseconds(1300));
  EXPECT_FALSE(b.client.KeepAlive());
  EXPECT_EQ(b.client.GetInfo().Message(), "登录已过期，请重新登录");
}

INSTANTIATE_TEST_SUITE_P(Backends, EndToEnd, testing::Values(Backend::kSqlite, Backend::kPostgres), BackendName);

TEST(EndToEndPostgres, TwoProcessesServeTheSameUsers) {
  auto database = TestDatabase::Create();
  if (!database) GTEST_SKIP() << "no PostgreSQL cluster (run through ctest)";
  ServerProcess first({"--database", database->url()});
  ServerProcess second({"--database", database->url()});
  BrowserClient a(first.host());
  ASSERT_TRUE(a.client.SendRegisterCodeMail("two@example.com").IsSuccess());
  BrowserClient b(second.host());
  core::RegisterFields fields;
  fields.email = "two@example.com";
  fields.code = CodeInMail(LastMailTo(first.Log(), "two@example.com"));
  ASSERT_TRUE(b.client.Register("56789012", "secret-1", fields).IsSuccess()) << "a code mailed by one, used on the other";
  ASSERT_TRUE(a.client.Login("56789012", "secret-1").IsSuccess());
  b.session.SetToken(a.session.Token());
  EXPECT_TRUE(b.client.KeepAlive());
  EXPECT_EQ(b.client.GetInfo().ToUserInfo().Account(), "56789012");
}

}  // namespace
}  // namespace nuve::test
