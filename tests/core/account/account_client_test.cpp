#include "core/account/account_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "support/fake_account_service.h"

namespace nuve::core {
namespace {

using test::FakeAccountService;
using test::RawRequest;
using test::ReplyMode;
using Clock = std::chrono::steady_clock;

constexpr char kKey[] = "7a1e0c92-4b3d-4e8f-a615-2c9d8b0f4e37";
constexpr char kD[] = "------------ei4cH2KM7gL6cH2ae0Ij5cH2cH2gL6";

class AccountClientTest : public ::testing::Test {
 protected:
  AccountClientTest() { client_.SetAppKey(kKey); }

  RawRequest Last() const {
    const auto all = service_.Requests();
    return all.empty() ? RawRequest{} : all.back();
  }
  std::string Url(const std::string& path) const { return "http://" + service_.host() + path; }

  FakeAccountService service_;
  LoginSession session_{std::chrono::minutes(10), [] {}};
  AccountClient client_{session_, service_.host()};
};

TEST_F(AccountClientTest, FormOperationsPostTheirBodiesEncoded) {
  session_.SetToken("T k");
  struct Case {
    std::function<void()> call;
    std::string path;
    std::string body;
  };
  const std::vector<Case> cases = {
      {[&] { client_.Login("alice", "p&w=d+%x"); }, "/api/login.e",
       std::string("account=alice&password=p%26w%3Dd%2B%25x&appKey=") + kKey + "&loginKey="},
      {[&] { client_.ChangePassword("alice", "o&1", "n=2"); }, "/api/replyPassword.e",
       std::string("account=alice&appKey=") + kKey + "&oldPwd=o%261&newPwd=n%3D2&token=T%20k"},
      {[&] { client_.SendPasswordResetMail("alice"); }, "/api/sendRePwdByEmail.e",
       std::string("account=alice&appKey=") + kKey},
      {[&] { client_.SendRegisterCodeMail("a@b.c"); }, "/api/sendRegCodeByEmail.e",
       std::string("email=a%40b.c&appKey=") + kKey},
      {[&] { client_.GetInfo(); }, "/api/info.e", "token=T%20k"},
      {[&] { client_.SendFeedback("标题", "a b\r\nc"); }, "/api/dofeed.e",
       "token=T%20k&title=%E6%A0%87%E9%A2%98&content=a%20b%0D%0Ac"},
      {[&] { client_.KeepAlive(); }, "/api/comm/keep.e", "token=T%20k"},
      {[&] { client_.ListAnnouncements(); }, "/api/announcement/list.e", std::string("appKey=") + kKey},
      {[&] { client_.GetAnnouncement(); }, "/api/announcement/get.e", std::string("appKey=") + kKey},
      {[&] { client_.GetAnnouncement(7); }, "/api/announcement/get.e", std::string("appKey=") + kKey + "&id=7"},
      {[&] { client_.GetUserInfoById(-42); }, "/api/getUserInfoById.e", "token=T%20k&uid=-42"},
      {[&] { client_.GetUserData("k1"); }, "/api/getUserData.e", "token=T%20k&key=k1"},
      {[&] { client_.SetUserData("k1", "v~1"); }, "/api/setUserData.e", "token=T%20k&key=k1&value=v~1"},
      {[&] { client_.UpdateUserInfo({.name = {}, .email = {}, .phone = "123", .head_img = {}}); }, "/api/updateUserInfo.e", "token=T%20k&phone=123"},
      {[&] { client_.UpdateUserInfo({.name = "N", .email = "e", .phone = "p", .head_img = "h"}); },
       "/api/updateUserInfo.e", "token=T%20k&name=N&email=e&phone=p&headImg=h"},
  };
  for (const auto& c : cases) {
    service_.ClearRequests();
    c.call();
    const RawRequest r = Last();
    EXPECT_EQ(r.request_line, "POST " + c.path + " HTTP/1.1");
    EXPECT_EQ(r.body, c.body) << c.path;
    EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(c.body.size()));
    EXPECT_EQ(r.Header("Referer"), Url(c.path));
  }
  // Logged out, the password change carries no token.
  session_.SetToken("");
  service_.ClearRequests();
  client_.ChangePassword("alice", "o", "n");
  EXPECT_EQ(Last().body, std::string("account=alice&appKey=") + kKey + "&oldPwd=o&newPwd=n");
}

TEST_F(AccountClientTest, RegisterSendsTheMultipartBodyByteForByte) {
  client_.Register("alice", "p&w");
  RawRequest r = Last();
  EXPECT_EQ(r.request_line, "POST /api/register.e HTTP/1.1");
  const std::string minimal = std::string(kD) +
                              "\r\nContent-Disposition: form-data; name=\"account\"\r\n\r\nalice\r\n" + kD +
                              "\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\np&w\r\n" + kD +
                              "\r\nContent-Disposition: form-data; name=\"appKey\"\r\n\r\n" + kKey + "\r\n" + kD +
                              "--\r\n";
  EXPECT_EQ(r.body, minimal);
  // The caller's lines come first, then the transport's; the one User-Agent
  // is the form's own.
  const std::vector<std::string> names = {"Host",    "Content-Type",    "User-Agent",    "Accept",
                                          "Referer", "Accept-Language", "Content-Length"};
  EXPECT_EQ(r.HeaderNames(), names);
  EXPECT_EQ(r.Header("Content-Type"), "multipart/form-data; boundary=----------ei4cH2KM7gL6cH2ae0Ij5cH2cH2gL6");
  EXPECT_EQ(r.Header("User-Agent"),
            "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
            "Chrome/46.0.2486.0 Safari/537.36 Edge/13.10586");
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(minimal.size()));
  EXPECT_TRUE(service_.HasAccount("alice"));

  const std::string image("GIF\0\r\n\xff", 7);
  client_.Register("张三", "密码", {.email = "a@b.c", .phone = "1", .name = "名", .head_img = image, .code = "9"});
  r = Last();
  auto part = [](const std::string& name, const std::string& value) {
    return "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n" + kD;
  };
  const std::string full =
      std::string(kD) + "\r\nContent-Disposition: form-data; name=\"account\"\r\n\r\n张三\r\n" + kD +
      "\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\n密码\r\n" + kD + part("appKey", kKey) +
      part("email", "a@b.c") + part("phone", "1") + part("name", "名") + part("code", "9") +
      "\r\nContent-Disposition: form-data; name=\"headImg\"; filename=\"img\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n" +
      image + "\r\n" + kD + "--\r\n";
  EXPECT_EQ(r.body, full);
}

TEST_F(AccountClientTest, UploadImageAsksFirstAndUploadsOnlyAnUnknownImage) {
  session_.SetToken("TOK");
  const std::string image = "abc";  // MD5 900150983cd24fb0d6963f7d28e17f72
  const ApiResponse uploaded = client_.UploadImage(image);
  EXPECT_TRUE(uploaded.IsSuccess());
  auto requests = service_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].request_line, "POST /api/upload/getImg.e HTTP/1.1");
  EXPECT_EQ(requests[0].body, "hash=900150983cd24fb0d6963f7d28e17f72");
  const RawRequest& up = requests[1];
  EXPECT_EQ(up.request_line, "POST /api/upload/img.e HTTP/1.1");
  EXPECT_EQ(up.body,
            "\r\n-----------------------------7db29f73b107e\r\n"
            "Content-Disposition: form-data; name=\"img\"; filename=\"Tavrine_IMG_TOK_Tavrine.file\"\r\n"
            "Content-Type: image/gif\r\n\r\nabc\r\n-----------------------------7db29f73b107e--\r\n");
  EXPECT_EQ(up.header_block.rfind("Host: " + service_.host() + "\r\nReferer:http://" + service_.host() +
                                      "/api/upload/img.e\r\n",
                                  0),
            0u);
  EXPECT_EQ(up.HeaderCount("Referer"), 2);  // the line without a blank is not recognised
  EXPECT_EQ(up.Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)");
  EXPECT_EQ(up.Header("Content-Type"), "multipart/form-data; boundary=---------------------------7db29f73b107e");

  service_.ClearRequests();
  EXPECT_TRUE(client_.UploadImage(image).IsSuccess());
  EXPECT_EQ(service_.Requests().size(), 1u);
}

TEST_F(AccountClientTest, LoginTakesTheTokenOnCodeAndTheKeepAliveOnResult) {
  session_.SetToken("old");
  service_.SetCustomReply("/api/login.e", R"({"code":0,"result":false,"message":"m","responseBody":"T1"})");
  EXPECT_FALSE(client_.Login("a", "b").IsSuccess());
  EXPECT_EQ(session_.Token(), "T1");
  EXPECT_FALSE(session_.KeepAliveRunning());

  service_.SetCustomReply("/api/login.e", R"({"code":3,"result":true,"message":"m","responseBody":"T2"})");
  EXPECT_TRUE(client_.Login("a", "b").IsSuccess());
  EXPECT_EQ(session_.Token(), "T1");
  EXPECT_TRUE(session_.KeepAliveRunning());

  // "code" must read exactly "0": a missing code is no success.
  service_.SetCustomReply("/api/login.e", R"({"result":false,"responseBody":"T3"})");
  client_.Login("a", "b");
  EXPECT_EQ(session_.Token(), "T1");

  service_.SetMode("/api/login.e", ReplyMode::kNormal);
  service_.AddAccount("alice", "pw");
  const ApiResponse ok = client_.Login("alice", "pw");
  EXPECT_TRUE(ok.IsSuccess());
  EXPECT_EQ(ok.Message(), "登录成功");
  EXPECT_EQ(session_.Token(), service_.TokenOf("alice"));
  EXPECT_TRUE(session_.KeepAliveRunning());
  client_.StopKeepAlive();
  EXPECT_FALSE(session_.KeepAliveRunning());
  EXPECT_EQ(session_.Token(), service_.TokenOf("alice"));  // the token stays
}

TEST_F(AccountClientTest, ServiceWorkflowAgainstTheFake) {
  EXPECT_TRUE(client_.SendRegisterCodeMail("bob@example.com").IsSuccess());
  const std::string code = service_.RegistrationCode("bob@example.com");
  EXPECT_FALSE(client_.Register("bob", "pw", {.email = "bob@example.com", .phone = {}, .name = {}, .head_img = {}, .code = "wrong"}).IsSuccess());
  EXPECT_TRUE(client_.Register("bob", "p&=+%w", {.email = "bob@example.com", .phone = {}, .name = {}, .head_img = {}, .code = code}).IsSuccess());
  EXPECT_TRUE(client_.Login("bob", "p&=+%w").IsSuccess());
  const ApiResponse info = client_.GetInfo();
  EXPECT_TRUE(info.IsSuccess());
  EXPECT_EQ(info.BodyField("account"), "bob");
  EXPECT_TRUE(client_.SendFeedback("标题 & 题", "内容=1+1").IsSuccess());
  ASSERT_EQ(service_.FeedbackReceived().size(), 1u);
  EXPECT_EQ(service_.FeedbackReceived()[0].title, "标题 & 题");
  EXPECT_EQ(service_.FeedbackReceived()[0].content, "内容=1+1");
  EXPECT_TRUE(client_.ChangePassword("bob", "p&=+%w", "n&w").IsSuccess());
  EXPECT_EQ(service_.PasswordOf("bob"), "n&w");
  EXPECT_TRUE(client_.KeepAlive());
  client_.StopKeepAlive();
}

TEST_F(AccountClientTest, BadRepliesAreNeverASuccess) {
  client_.SetTimeoutSeconds(2);
  const std::vector<ReplyMode> modes = {ReplyMode::kRefuse,     ReplyMode::kMalformedJson, ReplyMode::kEmptyBody,
                                        ReplyMode::kServerError, ReplyMode::kDrop,         ReplyMode::kNeverAnswer,
                                        ReplyMode::kHuge};
  for (const ReplyMode mode : modes) {
    service_.SetMode("/api/info.e", mode, "拒绝");
    const auto start = Clock::now();
    const ApiResponse reply = client_.GetInfo();
    EXPECT_FALSE(reply.IsSuccess()) << static_cast<int>(mode);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4)) << static_cast<int>(mode);
    if (mode == ReplyMode::kRefuse) {
      EXPECT_EQ(reply.Message(), "拒绝");
    }
  }
  // A reply that is not UTF-8 is read as GBK and reaches the program as UTF-8.
  service_.SetMode("/api/info.e", ReplyMode::kGbk);
  EXPECT_EQ(client_.GetInfo().Message(), "密码错误");
  // Nothing listens there.
  AccountClient unreachable(session_, "127.0.0.1:1");
  EXPECT_FALSE(unreachable.GetInfo().IsSuccess());
  EXPECT_EQ(unreachable.GetInfo().Code(), 0);
}

TEST_F(AccountClientTest, TimeOutWithAHungServerReturnsPromptly) {
  service_.SetMode("/api/login.e", ReplyMode::kNeverAnswer);
  client_.SetTimeoutSeconds(1);
  session_.SetToken("kept");
  const auto start = Clock::now();
  const ApiResponse reply = client_.Login("a", "b");
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_FALSE(reply.IsSuccess());
  EXPECT_EQ(reply.Text(), "");
  EXPECT_EQ(session_.Token(), "kept");
  EXPECT_FALSE(session_.KeepAliveRunning());
}

TEST(AccountClientConfigTest, ServiceHostComesFromTheEnvironment) {
  setenv("NUVE_SERVICE_HOST", "127.0.0.1:9", 1);
  LoginSession session(std::chrono::minutes(1), [] {});
  AccountClient client(session);
  EXPECT_EQ(client.ServiceHost(), "127.0.0.1:9");
  unsetenv("NUVE_SERVICE_HOST");
}

}  // namespace
}  // namespace nuve::core
