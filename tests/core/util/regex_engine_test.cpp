#include "core/util/regex_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

namespace nuve::core {
namespace {

TEST(RegexEngineEscape, ListsAndWildcards) {
  EXPECT_EQ(RegexEngine::WildcardToPattern("a*b?.txt"), "a.*b.?\\.txt");
  EXPECT_EQ(RegexEngine::WildcardToPattern("C:\\x"), "C:\\\\x");
  EXPECT_EQ(RegexEngine::WildcardToPattern("a|b"), "a|b");
  EXPECT_EQ(RegexEngine::EscapeAll("a|b"), "a\\|b");
  EXPECT_EQ(RegexEngine::EscapeKeepAlternation("a|b"), "a|b");
  EXPECT_EQ(RegexEngine::EscapeKeepAlternation("a?*"), "a\\?\\*");
  for (auto escape : {RegexEngine::WildcardToPattern, RegexEngine::EscapeAll,
                      RegexEngine::EscapeKeepAlternation}) {
    EXPECT_EQ(escape("say \"hi\""), "say \\\"hi\\\"");
    EXPECT_EQ(escape("中文"), "中文");
  }
}

// Whatever the text, its fully escaped form used as a pattern matches exactly
// that text, and a wildcard pattern of it matches it too.
TEST(RegexEngineEscape, EscapedTextMatchesItselfLiterally) {
  const std::string alphabet = "\\^$+.{}[]=()?*|\"ab 1\n";
  const std::string wide[] = {"中", "é", "　"};
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 12) + 1;
    for (int k = 0; k < length; ++k) {
      if (random() % 5 == 0) {
        text += wide[random() % 3];
      } else {
        text += alphabet[random() % alphabet.size()];
      }
    }
    RegexEngine literal;
    literal.Create(RegexEngine::EscapeAll(text), false, false, true);
    ASSERT_TRUE(literal.IsValid()) << text;
    ASSERT_EQ(literal.Execute("<" + text + ">"), 1) << text;
    EXPECT_EQ(literal.MatchValue(1), text);
    EXPECT_EQ(literal.Replace(text, "x"), "x") << text;

    RegexEngine keep;
    keep.Create(RegexEngine::EscapeKeepAlternation(text), false, false, true);
    EXPECT_TRUE(keep.IsValid()) << text;
    RegexEngine wildcard;
    wildcard.Create("^(?:" + RegexEngine::WildcardToPattern(text) + ")$", false, false, true);
    EXPECT_TRUE(wildcard.IsValid()) << text;
  }
}

TEST(RegexEngineLifecycle, DefaultsPatternAndRelease) {
  RegexEngine engine;
  EXPECT_EQ(engine.GetPattern(), "");
  EXPECT_EQ(engine.Execute("abc"), 0);
  EXPECT_EQ(engine.Replace("abc", "x"), "");
  engine.Create("b");
  EXPECT_TRUE(engine.IgnoreCase());
  EXPECT_TRUE(engine.Multiline());
  EXPECT_TRUE(engine.Global());
  EXPECT_EQ(engine.GetPattern(), "b");
  EXPECT_EQ(engine.Execute("aBcb"), 2);

  RegexEngine copy = engine;
  engine.Release();
  EXPECT_EQ(engine.GetPattern(), "");
  EXPECT_EQ(engine.MatchCount(), 0);
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.MatchValue(1), "B");
  EXPECT_EQ(copy.Replace("abc", "x"), "axc");
}

TEST(RegexEngineLifecycle, BadPatternAndOutOfRangeNumbersGiveEmpty) {
  RegexEngine engine;
  engine.Create("(unclosed");
  EXPECT_FALSE(engine.IsValid());
  EXPECT_EQ(engine.GetPattern(), "");
  EXPECT_EQ(engine.Execute("unclosed"), 0);
  EXPECT_EQ(engine.Replace("unclosed", "x"), "");
  engine.Create("\xff\xfe");  // not UTF-8
  EXPECT_FALSE(engine.IsValid());

  engine.Create("(a)(b)?");
  ASSERT_EQ(engine.Execute("a ab"), 2);
  long long offset = 0;
  for (int i : {-1, 0, 3, 1000}) {
    EXPECT_EQ(engine.MatchValue(i), "");
    EXPECT_EQ(engine.MatchText(i, &offset), "");
    EXPECT_EQ(offset, -2);
    EXPECT_EQ(engine.FirstIndex(i), -1);
  }
  EXPECT_EQ(engine.SubMatchValue(1, 0), "");
  EXPECT_EQ(engine.SubMatchValue(1, 3), "");
  EXPECT_EQ(engine.SubMatchText(1, 2, &offset), "");  // group 2 took no part
  EXPECT_EQ(offset, -2);
  EXPECT_EQ(engine.SubMatchText(2, 2, &offset), "b");
  EXPECT_EQ(offset, 3);
  EXPECT_EQ(engine.SubMatchCount(), 2);
  engine.Execute("zzz");
  EXPECT_EQ(engine.SubMatchCount(), 0);
}

TEST(RegexEngineMatching, FlagsAnchorsAndEmptyMatches) {
  RegexEngine engine;
  engine.Create("^a.$", true, true, true);
  EXPECT_EQ(engine.Execute("ab\r\nAc\nad"), 3);
  EXPECT_EQ(engine.MatchValue(2), "Ac");
  engine.Create("^a.$", false, false, true);
  EXPECT_EQ(engine.Execute("ab\nac"), 0);
  engine.Create("a", true, true, false);
  EXPECT_EQ(engine.Execute("aaa"), 1);
  EXPECT_EQ(engine.Replace("aaa", "b"), "baa");

  // Empty matches advance by whole characters, never splitting UTF-8 or CRLF.
  engine.Create("x*");
  EXPECT_EQ(engine.Replace("a中c", "-"), "-a-中-c-");
  EXPECT_EQ(engine.Replace("a\r\nb", "-"), "-a-\r\n-b-");
  EXPECT_EQ(engine.Execute("axxb"), 4);  // "", "xx", "", ""
  EXPECT_EQ(engine.MatchValue(2), "xx");
}

TEST(RegexEngineMatching, CharacterIndexAndByteOffsets) {
  RegexEngine engine;
  engine.Create("abc");
  ASSERT_EQ(engine.Execute("中文abc"), 1);
  EXPECT_EQ(engine.FirstIndex(1), 2);
  long long offset = -1;
  EXPECT_EQ(engine.MatchText(1, &offset), "abc");
  EXPECT_EQ(offset, 6);

  // The second "ab" is reported at its own byte offset, not at the first
  // occurrence that a byte search from its character index would meet.
  engine.Create("ab");
  ASSERT_EQ(engine.Execute("中中ab中ab"), 2);
  EXPECT_EQ(engine.FirstIndex(2), 5);
  engine.MatchText(2, &offset);
  EXPECT_EQ(offset, 11);

  engine.Create("(\\d+)-(\\d+)");
  ASSERT_EQ(engine.Execute("é12-34 5-6"), 2);
  EXPECT_EQ(engine.SubMatchText(1, 2, &offset), "34");
  EXPECT_EQ(offset, 5);
  EXPECT_EQ(engine.SubMatchValue(2, 1), "5");
}

TEST(RegexEngineMatching, InvalidUtf8SubjectsAndRunawayPatterns) {
  RegexEngine engine;
  engine.Create("b+");
  const std::string subject("a\xff" "bb\xc3\0b", 7);
  EXPECT_EQ(engine.Execute(subject), 2);
  EXPECT_EQ(engine.Replace(subject, "_"), std::string("a\xff_\xc3\0_", 6));

  engine.Create("(a+)+$");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(engine.Execute(std::string(40, 'a') + "!"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(RegexEngineReplace, TemplateReferences) {
  RegexEngine engine;
  engine.Create("(\\w)(\\d)?");
  EXPECT_EQ(engine.Replace("a1 b", "[$2$1]"), "[1a] [b]");
  EXPECT_EQ(engine.Replace("a1", "$$1 $& $3 $x $"), "$1 a1 $3 $x $");
  engine.Create("b");
  EXPECT_EQ(engine.Replace("abc", "[$`|$']"), "a[a|c]c");

  engine.Create("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)");
  EXPECT_EQ(engine.Replace("abcdefghij", "$10$1"), "ja");
  engine.Create("(a)");
  EXPECT_EQ(engine.Replace("a", "$10"), "a0");

  // The reader's own compaction and path patterns behave as it expects.
  engine.Create("[\\s　]+\"|\"[\\s　]+|^[ 　\"\\t]+|[ 　\"\\t]+$");
  EXPECT_EQ(engine.Replace("\"abc\"", ""), "abc");
  EXPECT_EQ(engine.Replace("　\"中文\"\t\n\"x\" ", ""), "中文x");
  EXPECT_EQ(engine.Replace("{\"a\":\"b\"}", ""), "{\"a\":\"b\"}");
  engine.Create("([^\\.])(\\[\\d+\\])(\\.?)");
  EXPECT_EQ(engine.Replace("a[0].b", "$1.$2$3"), "a.[0].b");
}

}  // namespace
}  // namespace nuve::core
