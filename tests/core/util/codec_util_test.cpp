#include "core/util/codec_util.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>


namespace nuve::core {
namespace {

std::string DateText(std::int64_t ts, bool in_seconds = true, bool utc8 = true) {
  return FormatDateTime(CodecUtil().TimestampToDateTime(ts, in_seconds, utc8));
}

TEST(CodecUtilBase64, DecodesStrictPaddedBase64AndDropsPadding) {
  const CodecUtil codec;
  EXPECT_EQ(codec.Base64Decode("QUJD"), "ABC");
  EXPECT_EQ(codec.Base64Decode("QQ=="), "A");
  EXPECT_EQ(codec.Base64Decode("QUI="), "AB");
  EXPECT_EQ(codec.Base64Decode(""), "");
  EXPECT_EQ(codec.Base64Decode("AAAA"), std::string(3, '\0'));
  EXPECT_EQ(codec.Base64Decode("+/+/"), "\xfb\xff\xbf");
  for (const char* bad : {"QUJ", "QU JD", "QUJD\r\n", "QU-_", "QQ=A", "Q===", "====", "=QUJ",
                          "QQ==QUJD", "QUJDQ", "QUJ\xc3\xa4"}) {
    EXPECT_EQ(codec.Base64Decode(bad), "") << bad;
  }
  EXPECT_EQ(codec.Base64Decode(std::string("QU\0D", 4)), "");
}

// Encoding random bytes in lines and decoding the joined lines gives the
// bytes back; every line is 64 characters (the last at most) ended by CR LF.
TEST(CodecUtilBase64, LinesRoundTripThroughTheDecoder) {
  const CodecUtil codec;
  std::mt19937 random(11);
  for (std::size_t size : {1u, 2u, 3u, 47u, 48u, 49u, 95u, 96u, 97u, 1000u}) {
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    const std::string text = codec.BinaryToString(CodecUtil::kBase64Lines, bytes);
    std::string joined;
    std::size_t at = 0;
    while (at < text.size()) {
      const std::size_t end = text.find("\r\n", at);
      ASSERT_NE(end, std::string::npos) << "last line has no CR LF";
      ASSERT_LE(end - at, 64u);
      if (end + 2 < text.size()) {
        ASSERT_EQ(end - at, 64u) << "short inner line";
      }
      joined += text.substr(at, end - at);
      at = end + 2;
    }
    gchar* expected = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), size);
    EXPECT_EQ(joined, expected);
    g_free(expected);
    EXPECT_EQ(codec.Base64Decode(joined), bytes) << size;
  }
  EXPECT_EQ(codec.BinaryToString(CodecUtil::kBase64Lines, "ABC"), "QUJD\r\n");
  EXPECT_EQ(codec.BinaryToString(CodecUtil::kBase64Lines, ""), "");
  EXPECT_EQ(codec.BinaryToString(4, "ABC"), "");
}

TEST(CodecUtilBinaryDigits, PadConvertAndBack) {
  const CodecUtil codec;
  EXPECT_EQ(codec.ToBinaryDigits(5), "101");
  EXPECT_EQ(codec.ToBinaryDigits(0), "0");
  EXPECT_EQ(codec.ToBinaryDigits(-3), "0");
  EXPECT_EQ(codec.ToBinaryDigits(std::numeric_limits<std::int32_t>::max()), std::string(31, '1'));
  EXPECT_EQ(codec.PadBits6("101"), "000101");
  EXPECT_EQ(codec.PadBits8("101"), "00000101");
  EXPECT_EQ(codec.PadBits6("1111111"), "1111111");
  EXPECT_EQ(codec.FromBinaryDigits("000101"), 5);
  EXPECT_EQ(codec.FromBinaryDigits("1x1"), 5);
  EXPECT_EQ(codec.FromBinaryDigits(""), 0);
  // Digits beyond the 32nd from the right drop out instead of overflowing.
  EXPECT_EQ(codec.FromBinaryDigits(std::string(40, '1')), -1);
  EXPECT_EQ(codec.FromBinaryDigits("1" + std::string(32, '0')), 0);
  for (std::int32_t v : {1, 2, 63, 64, 255, 1 << 20, std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(codec.FromBinaryDigits(codec.PadBits8(codec.ToBinaryDigits(v))), v);
  }
}

TEST(CodecUtilTime, TimestampsAsUtc8WallClock) {
  EXPECT_EQ(DateText(1700000000), "2023-11-15 06:13:20");
  EXPECT_EQ(DateText(1700000000000), "2023-11-15 06:13:20");
  EXPECT_EQ(DateText(1700000000999), "2023-11-15 06:13:20");
  EXPECT_EQ(DateText(0), "1970-01-01 08:00:00");
  EXPECT_EQ(DateText(0, true, false), "1970-01-01 00:00:00");
  EXPECT_EQ(DateText(9999999999), "2286-11-21 01:46:39");
  EXPECT_EQ(DateText(10000000000), "1970-04-27 01:46:40");  // 10^10 ms
  EXPECT_EQ(DateText(-28800), "1970-01-01 00:00:00");
  // A caller that passes milliseconds gets one division, not two.
  EXPECT_EQ(DateText(1700000000000, false), "2023-11-15 06:13:20");
  // Extreme values give no date text, and no undefined arithmetic.
  EXPECT_EQ(DateText(std::numeric_limits<std::int64_t>::max()), "");
  EXPECT_EQ(DateText(std::numeric_limits<std::int64_t>::min()), "");
  EXPECT_EQ(DateText(-62135596800 - 28800), "0001-01-01 00:00:00");
  EXPECT_EQ(DateText(-62135596801 - 28800), "");
  using std::chrono::seconds;
  EXPECT_EQ(FormatDateTime(DateTime{seconds{253402300799}}), "9999-12-31 23:59:59");
  EXPECT_EQ(FormatDateTime(DateTime{seconds{253402300800}}), "");
}

TEST(CodecUtilTime, CurrentTimestampIsUnixMilliseconds) {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  using std::chrono::system_clock;
  const auto before = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  const std::string text = CodecUtil().CurrentTimestampMs();
  const auto after = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  ASSERT_EQ(text.size(), 13u);
  EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_GE(std::stoll(text), before);
  EXPECT_LE(std::stoll(text), after);
}

TEST(CodecUtilText, MemberConversionsAndMarkers) {
  EXPECT_EQ(TextToInt32("12"), 12);
  EXPECT_EQ(TextToInt32("-5"), -5);
  EXPECT_EQ(TextToInt32("+7"), 7);
  EXPECT_EQ(TextToInt32(" 3"), 3);
  EXPECT_EQ(TextToInt32("12.9"), 12);
  for (const char* not_int : {"", "abc", "-", "+-1", "2147483648", "null", "true"}) {
    EXPECT_EQ(TextToInt32(not_int), 0) << not_int;
  }
  EXPECT_EQ(TextToInt64("1700000000000"), 1700000000000);
  EXPECT_TRUE(TextToFlag("true"));
  EXPECT_FALSE(TextToFlag("True"));
  EXPECT_FALSE(TextToFlag("true "));
  EXPECT_EQ(FormatDateTime(TextToDateTime("")), "1970-01-01 08:00:00");
  EXPECT_EQ(FormatDateTime(TextToDateTime("1700000000000")), "2023-11-15 06:13:20");
  EXPECT_EQ(FetchPicture(""), "");

  const CodecUtil codec;
  EXPECT_EQ(codec.BetweenMarkers("a[b]c", "[", "]"), "b");
  EXPECT_EQ(codec.BetweenMarkers("a[b]c", "<", "]"), "");
  EXPECT_EQ(codec.BetweenMarkers("a[b", "[", "]"), "");
  EXPECT_EQ(codec.BetweenMarkers("]a[b]", "[", "]"), "b");
  EXPECT_EQ(codec.BetweenMarkers("<<中>>", "<<", ">>"), "中");
  EXPECT_EQ(codec.GetJsonValue(R"({"a":{"b":[5,6]}})", "a.b.[2]"), "6");
  EXPECT_EQ(codec.GetContent(R"({"content":"a\\b\\\\c"})"), "abc");
}

}  // namespace
}  // namespace nuve::core
