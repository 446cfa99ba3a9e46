#include "core/account/user_info.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace nuve::core {
namespace {

UserInfo Profile(const std::string& text) {
  UserInfo info;
  info.SetText(text);
  return info;
}

TEST(UserInfo, ReadsTheProfileNotTheReply) {
  UserInfo info;
  info.ApiResponse::SetText(R"({"result":true,"message":"m","account":"reply"})");
  info.SetText(
      R"({"account":"u1","email":"a@b.c","id":"42","loginAddress":"上海","userLoginCount":7,
          "loginTime":1700000000000,"registTime":1700000000,"headUrl":"http://h/x.png"})");
  EXPECT_TRUE(info.IsSuccess());
  EXPECT_EQ(info.Message(), "m");
  EXPECT_EQ(info.Account(), "u1");
  EXPECT_EQ(info.Email(), "a@b.c");
  EXPECT_EQ(info.Id(), 42);
  EXPECT_EQ(info.LoginAddress(), "上海");
  EXPECT_EQ(info.UserLoginCount(), 7);
  EXPECT_EQ(info.HeadUrl(), "http://h/x.png");
  EXPECT_EQ(FormatDateTime(info.LoginTime()), "2023-11-15 06:13:20");
  EXPECT_EQ(FormatDateTime(info.RegistTime()), "2023-11-15 06:13:20");

  ApiResponse& as_reply = info;
  as_reply.SetText(R"({"account":"other"})");  // the profile's own SetText runs
  EXPECT_EQ(info.Account(), "other");
  EXPECT_EQ(info.Message(), "m");
}

TEST(UserInfo, AbsentMembersAndAccountState) {
  const UserInfo empty = Profile("{}");
  EXPECT_EQ(empty.Account(), "");
  EXPECT_EQ(empty.Id(), 0);
  EXPECT_EQ(empty.UserLoginCount(), 0);
  EXPECT_EQ(FormatDateTime(empty.LoginTime()), "1970-01-01 08:00:00");
  EXPECT_EQ(FormatDateTime(Profile(R"({"loginTime":0})").LoginTime()), "1970-01-01 08:00:00");
  EXPECT_EQ(empty.HeadImage(), "");

  EXPECT_TRUE(empty.IsAccountNormal());
  EXPECT_TRUE(Profile(R"({"registTime":1700000000})").IsAccountNormal());
  EXPECT_TRUE(Profile(R"({"registTime":"00"})").IsAccountNormal());
  EXPECT_FALSE(Profile(R"({"registTime":0})").IsAccountNormal());
  EXPECT_FALSE(Profile(R"({"registTime":"0"})").IsAccountNormal());
}

TEST(UserInfo, StateDecidesWhenTheProfileHasIt) {
  EXPECT_FALSE(Profile(R"({"registTime":1700000000000,"state":"banned"})").IsAccountNormal());
  EXPECT_TRUE(Profile(R"({"registTime":0,"state":"normal"})").IsAccountNormal()) << "state wins over registTime";
  // A state this program does not know falls back to the registTime rule.
  EXPECT_TRUE(Profile(R"({"registTime":1,"state":"frozen"})").IsAccountNormal());
  EXPECT_FALSE(Profile(R"({"registTime":0,"state":""})").IsAccountNormal());
}

// A loopback server for the picture rule: each GET is fetched anew.
class PictureServer {
 public:
  PictureServer() {
    server_.Get("/head.png", [this](const httplib::Request&, httplib::Response& res) {
      ++hits_;
      res.set_content(std::string("\x89PNG\0\x01", 6), "image/png");
    });
    server_.Get("/slow.png", [](const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      res.set_content("late", "image/png");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    // The socket is bound and listening already, so requests made before the
    // thread runs simply wait in the backlog.
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~PictureServer() {
    server_.stop();
    thread_.join();
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int hits() const { return hits_; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::atomic<int> hits_{0};
};

TEST(UserInfo, HeadImageIsFetchedAtEveryCallAndEmptyOnFailure) {
  PictureServer server;
  const UserInfo info = Profile(R"({"headUrl":")" + server.Url("/head.png") + R"("})");
  EXPECT_EQ(info.HeadImage(), std::string("\x89PNG\0\x01", 6));
  EXPECT_EQ(info.HeadImage().size(), 6u);
  EXPECT_EQ(server.hits(), 2);
  EXPECT_EQ(Profile(R"({"headUrl":")" + server.Url("/missing.png") + R"("})").HeadImage(), "");
  EXPECT_EQ(Profile(R"({"headUrl":"file:///etc/passwd"})").HeadImage(), "");
  EXPECT_EQ(Profile(R"({"headUrl":"not a url"})").HeadImage(), "");
}

}  // namespace
}  // namespace nuve::core
