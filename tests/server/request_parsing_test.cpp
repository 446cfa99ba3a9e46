// Reading request bodies and fields: multipart bodies as the browser sends
// them, broken ones, and the field rules.
#include <gtest/gtest.h>

#include "server/api/image_api.h"
#include "server/api/input_rules.h"
#include "server/api/multipart_body.h"

namespace nuve::server {
namespace {

TEST(MultipartBody, ReadsTheBrowsersRegisterAndUploadBodies) {
  // Register: the body opens with the delimiter; the header's boundary has two
  // dashes fewer than the delimiter.
  const std::string d = "------------ei4cH2KM7gL6cH2ae0Ij5cH2cH2gL6";
  const std::string image("GIF89a\r\n--\0\xFF", 12);
  const std::string reg = d + "\r\nContent-Disposition: form-data; name=\"account\"\r\n\r\n12345678\r\n" + d +
                          "\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\np&w=d\r\n" + d +
                          "\r\nContent-Disposition: form-data; name=\"headImg\"; filename=\"img\"\r\n"
                          "Content-Type: application/octet-stream\r\n\r\n" + image + "\r\n" + d + "--\r\n";
  const std::string boundary = MultipartBoundary("multipart/form-data; boundary=----------ei4cH2KM7gL6cH2ae0Ij5cH2cH2gL6");
  const auto parts = ParseMultipartBody(reg, boundary);
  ASSERT_TRUE(parts);
  ASSERT_EQ(parts->size(), 3u);
  EXPECT_EQ((*parts)[0].name, "account");
  EXPECT_EQ((*parts)[1].content, "p&w=d");
  EXPECT_EQ((*parts)[2].content, image) << "bytes with CRLF, dashes and NUL survive";
  EXPECT_EQ((*parts)[2].filename, "img");

  // Upload: a CRLF preamble before the first delimiter, as RFC 2046 allows.
  const std::string u = "-----------------------------7db29f73b107e";
  const std::string upload = "\r\n" + u +
                             "\r\nContent-Disposition: form-data; name=\"img\"; filename=\"Tavrine_IMG_abc_Tavrine.file\""
                             "\r\nContent-Type: image/gif\r\n\r\n" + image + "\r\n" + u + "--\r\n";
  const auto up = ParseMultipartBody(upload, "---------------------------7db29f73b107e");
  ASSERT_TRUE(up);
  ASSERT_EQ(up->size(), 1u);
  EXPECT_EQ(UploadToken(*(*up)[0].filename), "abc");
  EXPECT_EQ((*up)[0].content, image);

  EXPECT_EQ(MultipartBoundary("multipart/form-data; charset=utf-8; boundary=\"a b\""), "a b");
  EXPECT_EQ(MultipartBoundary("multipart/form-data"), "");
  EXPECT_EQ(MultipartBoundary("multipart/form-data; boundary=" + std::string(71, 'x')), "");
}

TEST(MultipartBody, RefusesBrokenBodiesWhole) {
  const std::string part = "--b\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nvalue";
  EXPECT_TRUE(ParseMultipartBody(part + "\r\n--b--", "b"));
  EXPECT_TRUE(ParseMultipartBody(part + "\r\n--b--\r\nepilogue --b", "b")) << "an epilogue is ignored";
  EXPECT_FALSE(ParseMultipartBody(part, "b")) << "cut short before the closing delimiter";
  EXPECT_FALSE(ParseMultipartBody(part + "\r\n--b", "b")) << "cut inside the closing delimiter";
  EXPECT_FALSE(ParseMultipartBody("--b\r\nContent-Type: text/plain\r\n\r\nx\r\n--b--", "b")) << "no name";
  EXPECT_FALSE(ParseMultipartBody("--b\r\nContent-Disposition: form-data; name=\"a\r\n\r\nx\r\n--b--", "b"))
      << "an unterminated quote";
  EXPECT_FALSE(ParseMultipartBody("--b\r\n\r\nx\r\n--b--", "b"));
  EXPECT_FALSE(ParseMultipartBody("no delimiter at all", "b"));
  EXPECT_FALSE(ParseMultipartBody(part + "\r\n--b--", ""));
  std::string many;
  for (int i = 0; i < 40; ++i) many += "--b\r\nContent-Disposition: form-data; name=\"p\"\r\n\r\nx\r\n";
  EXPECT_FALSE(ParseMultipartBody(many + "--b--", "b")) << "more parts than any endpoint takes";
}

TEST(InputRules, Utf8IsCheckedStrictly) {
  EXPECT_TRUE(IsValidUtf8("账号 abc 😀"));
  EXPECT_TRUE(IsValidUtf8(""));
  for (const std::string& bad : {std::string("\xC0\xAF"), std::string("\xE0\x80\xAF"), std::string("\xED\xA0\x80"),
                                std::string("\xF4\x90\x80\x80"), std::string("\xE6\xA0"), std::string("\xFF"),
                                std::string("a\0b", 3), std::string("\x80")}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << "bytes of length " << bad.size();
  }
  EXPECT_EQ(Utf8Length("密码abc"), 5u);
}

TEST(InputRules, FieldsAcceptWhatTheBrowserAllowsAndNothingDangerous) {
  EXPECT_TRUE(IsAccountNumber("12345678"));
  EXPECT_TRUE(IsAccountNumber("1234567890"));
  EXPECT_FALSE(IsAccountNumber("1234567"));
  EXPECT_FALSE(IsAccountNumber("12345678901"));
  EXPECT_FALSE(IsAccountNumber("1234567a"));
  EXPECT_FALSE(IsAccountNumber("1' OR '1"));

  EXPECT_TRUE(IsAcceptablePassword("密码密码密码"));       // six characters, 18 bytes
  EXPECT_TRUE(IsAcceptablePassword("p&w=d+%x;'\"--"));
  EXPECT_FALSE(IsAcceptablePassword("12345"));
  EXPECT_FALSE(IsAcceptablePassword(std::string(17, 'a')));
  EXPECT_FALSE(IsAcceptablePassword("\xFF\xFE\xFD\xFC\xFB\xFA"));

  EXPECT_TRUE(IsEmailAddress("li.lei+nuve@example.com.cn"));
  EXPECT_FALSE(IsEmailAddress("a@b.c\r\nBcc: victim@example.com")) << "no mail header can be smuggled in";
  EXPECT_FALSE(IsEmailAddress("a@b"));
  EXPECT_FALSE(IsEmailAddress("a@@b.c"));
  EXPECT_FALSE(IsEmailAddress("<a@b.c>"));
  EXPECT_FALSE(IsEmailAddress("a@.b.c"));

  EXPECT_TRUE(IsPhoneNumber("13800138000"));
  EXPECT_TRUE(IsPhoneNumber("+86 10-1234"));
  EXPECT_FALSE(IsPhoneNumber("1380013800a"));
  EXPECT_FALSE(IsPhoneNumber("-138"));

  EXPECT_EQ(ParseId("42"), 42);
  EXPECT_FALSE(ParseId("-1"));
  EXPECT_FALSE(ParseId("1 OR 1=1"));
  EXPECT_FALSE(ParseId("99999999999999999999"));
  EXPECT_EQ(ParseMd5Hex("D41D8CD98F00B204E9800998ECF8427E"), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_FALSE(ParseMd5Hex("../../etc/passwd"));

  EXPECT_EQ(UploadToken("Tavrine_IMG__Tavrine.file"), "");
  EXPECT_EQ(UploadToken("img"), "");
}

}  // namespace
}  // namespace nuve::server
