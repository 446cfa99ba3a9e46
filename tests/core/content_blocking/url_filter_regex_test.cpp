// The url filters the engine accepts, and the translation of /regex/ rules.
// The accepted and refused examples are the ones the engine itself was seen
// to accept and refuse (webkit-notes.md, content rule lists).
#include "core/content_blocking/url_filter_regex.h"

#include <gtest/gtest.h>

namespace nuve::core {
namespace {

TEST(UrlFilterRegex, AcceptsWhatTheEngineAcceptsAndRefusesTheRest) {
  for (const char* accepted : {".*", "a?", "ad+", "[a-z0-9]+", "[^/]+", "^https?://(www\\.)?x\\.test/", "\\.js$",
                               "ad\\.js([^A-Za-z0-9_.%-].*)?$", "(ab)+c", "[a\\-z\\]]", "%E4%B8%AD"}) {
    EXPECT_TRUE(IsEngineUrlFilter(accepted)) << accepted;
  }
  for (const char* refused : {"", "a|b", "(ad|track)er", "a{2}", "x{2,3}", "\\d", "\\w", "\\b", "(?=a)b", "(?i)a",
                              "a^b", "广告", "(a$)", "a$b", "[\\d]", "()", "[]", "[z-a]", "*a", "a**", "(a", "a)",
                              "a]", "\\", "\x01"}) {
    EXPECT_FALSE(IsEngineUrlFilter(refused)) << refused;
  }
  EXPECT_FALSE(IsEngineUrlFilter(std::string(kMaxUrlFilterLength + 1, 'a')));
}

TEST(UrlFilterRegex, TranslatesWhatHasAnEquivalentAndRefusesWhatHasNone) {
  std::vector<std::string> out;
  ASSERT_TRUE(TranslateFilterRegex("^https?:\\/\\/(?:cdn|img)\\d{1,2}\\.x\\.test\\/", out));
  EXPECT_EQ(out, (std::vector<std::string>{"^https?://cdn[0-9][0-9]?\\.x\\.test/",
                                           "^https?://img[0-9][0-9]?\\.x\\.test/"}));
  ASSERT_TRUE(TranslateFilterRegex("\\/[a-f0-9]{3,}\\.(js|php)$", out));
  EXPECT_EQ(out, (std::vector<std::string>{"/[0-9a-f][0-9a-f][0-9a-f]+\\.js$", "/[0-9a-f][0-9a-f][0-9a-f]+\\.php$"}));
  ASSERT_TRUE(TranslateFilterRegex("(^|\\/)ads?[\\w-]+?\\.", out));
  EXPECT_EQ(out, (std::vector<std::string>{"^ads?[\\-0-9A-Z_a-z]+\\.", "/ads?[\\-0-9A-Z_a-z]+\\."}));
  for (const char* refused : {"\\bad", "a(?!b)", "(a)\\1", "\\s", "a|(b|c)+", "广告", "x{300}", "(", "[", "a{2,1}",
                              ".{17}", "[^/]{20,}"}) {
    EXPECT_FALSE(TranslateFilterRegex(refused, out)) << refused;
    EXPECT_TRUE(out.empty());
  }
}

}  // namespace
}  // namespace nuve::core
