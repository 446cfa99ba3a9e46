#include "core/account/api_response.h"

#include <gtest/gtest.h>

#include <string>

#include "core/account/user_info.h"

namespace nuve::core {
namespace {

ApiResponse Reply(const std::string& text) {
  ApiResponse reply;
  reply.SetText(text);
  return reply;
}

TEST(ApiResponse, FailedRequestReadsAsEmptyFailure) {
  for (const std::string& text : {std::string(), std::string("not json"),
                                  std::string("\xff\xfe{\"re", 6), std::string("{\0}", 3)}) {
    const ApiResponse reply = Reply(text);
    EXPECT_FALSE(reply.IsSuccess());
    EXPECT_EQ(reply.Code(), 0);
    EXPECT_EQ(reply.Message(), "");
    EXPECT_EQ(reply.ResponseBody(), "{}");
    EXPECT_EQ(reply.BodyText(), "{}");
    EXPECT_EQ(reply.BodyField("anything"), "");
  }
}

TEST(ApiResponse, SuccessIsExactlyResultTrueWhateverTheCode) {
  EXPECT_TRUE(Reply(R"({"code":0,"result":true})").IsSuccess());
  EXPECT_TRUE(Reply(R"({"code":7,"result":true})").IsSuccess());
  EXPECT_FALSE(Reply(R"({"code":0,"result":True})").IsSuccess());
  EXPECT_FALSE(Reply(R"({"code":0,"result":false})").IsSuccess());
  EXPECT_FALSE(Reply(R"({"code":0,"result":"TRUE"})").IsSuccess());
  EXPECT_FALSE(Reply(R"({"code":0})").IsSuccess());
  // A nested "result" is not the reply's own.
  EXPECT_FALSE(Reply(R"({"responseBody":{"result":true}})").IsSuccess());

  EXPECT_EQ(Reply(R"({"code":-3})").Code(), -3);
  EXPECT_EQ(Reply(R"({"code":"12"})").Code(), 12);
  EXPECT_EQ(Reply(R"({"code":"x1"})").Code(), 0);
  EXPECT_EQ(Reply(R"({"code":99999999999})").Code(), 0);
}

TEST(ApiResponse, MessageComesBackAsReadableText) {
  EXPECT_EQ(Reply(R"({"message":"ok"})").Message(), "ok");
  EXPECT_EQ(Reply(R"({"message":"\u767b\u5f55\u6210\u529f"})").Message(), "登录成功");
  EXPECT_EQ(Reply(R"({"message":"密码错误 "})").Message(), "密码错误 ");
  EXPECT_EQ(Reply(R"({"message":"say \"hi\"","code":5})").Code(), 5);
}

TEST(ApiResponse, EmptyPayloadsNormaliseToAnEmptyObject) {
  for (const char* text : {R"({"responseBody":null})", R"({"responseBody":""})",
                           R"({"responseBody":{}})", R"({"responseBody": {} })",
                           R"({"code":0})"}) {
    const ApiResponse reply = Reply(text);
    EXPECT_EQ(reply.ResponseBody(), "{}") << text;
    EXPECT_EQ(reply.BodyField("name"), "") << text;
    EXPECT_EQ(reply.ToUserInfo().ProfileText(), "{}") << text;
  }
  const ApiResponse reply =
      Reply(R"({"result":true,"responseBody":{"account":"u1","list":[{"id":3}]}})");
  EXPECT_EQ(reply.ResponseBody(), R"({"account":"u1","list":[{"id":3}]})");
  EXPECT_EQ(reply.BodyText(), reply.ResponseBody());
  EXPECT_EQ(reply.BodyField("account"), "u1");
  EXPECT_EQ(reply.BodyField("list.[1].id"), "3");
  EXPECT_EQ(Reply(R"({"responseBody":"token-abc"})").ResponseBody(), "token-abc");

  const UserInfo info = reply.ToUserInfo();
  EXPECT_EQ(info.Account(), "u1");
  EXPECT_EQ(info.Text(), "");  // the profile never becomes the reply text
}

TEST(ApiResponse, CopiesAreIndependentValues) {
  ApiResponse first = Reply(R"({"message":"a"})");
  ApiResponse second = first;
  first.SetText(R"({"message":"b"})");
  EXPECT_EQ(second.Message(), "a");
  EXPECT_EQ(first.Message(), "b");
}

}  // namespace
}  // namespace nuve::core
