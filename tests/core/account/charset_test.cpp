#include "core/account/charset.h"

#include <gtest/gtest.h>

#include "core/account/form_encoding.h"
#include "core/account/join_bytes.h"

namespace nuve::core {
namespace {

// "中文 ok" in GBK.
const std::string kGbk = "\xD6\xD0\xCE\xC4 ok";

TEST(CharsetTest, ConvertsBetweenGbkAndUtf8) {
  EXPECT_EQ(GbkToUtf8(kGbk), "中文 ok");
  EXPECT_EQ(Utf8ToGbk("中文 ok"), kGbk);
  EXPECT_EQ(GbkToUtf8(""), "");
  EXPECT_EQ(Utf8ToGbk(""), "");
  // Bytes after a zero byte are kept.
  EXPECT_EQ(Utf8ToGbk(std::string("a\0中", 5)), std::string("a\0\xD6\xD0", 4));
}

TEST(CharsetTest, BadInputIsReplacedAndTheRestConverted) {
  // A byte that starts no GBK character, and a lead byte whose second byte
  // is out of range; the text after each still converts.
  EXPECT_EQ(GbkToUtf8("\xFF" "a\xD6\xD0"), "\xEF\xBF\xBD" "a中");
  EXPECT_EQ(GbkToUtf8("\x81 b"), "\xEF\xBF\xBD b");
  // A lead byte at the very end.
  EXPECT_EQ(GbkToUtf8("ab\xD6"), "ab\xEF\xBF\xBD");
  // A character GBK lacks, and a stray UTF-8 byte.
  EXPECT_EQ(Utf8ToGbk("a😀b"), "a?b");
  EXPECT_EQ(Utf8ToGbk("a\xFF" "b"), "a?b");
  // Long input crosses the converter's buffer; the odd last byte is replaced.
  const std::string many(10001, '\xD6');
  EXPECT_EQ(GbkToUtf8(many).size(), 5000u * 3 + 3);
}

TEST(CharsetTest, RepliesAreUtf8UnlessTheyAreNot) {
  EXPECT_EQ(DecodeReplyText(R"({"message":"密码错误"})"), R"({"message":"密码错误"})");
  EXPECT_EQ(DecodeReplyText("{\"message\":\"\xC3\xDC\xC2\xEB\"}"), R"({"message":"密码"})");
  EXPECT_EQ(DecodeReplyText(""), "");
}

TEST(JoinBytesTest, JoinsInArgumentOrder) {
  EXPECT_EQ(JoinBytes(), "");
  EXPECT_EQ(JoinBytes(std::string(), ""), "");
  EXPECT_EQ(JoinBytes("a", std::string("\0b", 2), std::string_view("c")), std::string("a\0bc", 4));
}

TEST(FormEncodingTest, EncodesEverythingButUnreservedCharacters) {
  EXPECT_EQ(FormEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(FormEncode("p&w=d+%x y/?#"), "p%26w%3Dd%2B%25x%20y%2F%3F%23");
  EXPECT_EQ(FormEncode("中"), "%E4%B8%AD");
  EXPECT_EQ(FormEncode(std::string("\0\xFF", 2)), "%00%FF");
  EXPECT_EQ(FormBody().Add("a", "1&b=2").Add("c", "").Text(), "a=1%26b%3D2&c=");
}

}  // namespace
}  // namespace nuve::core
