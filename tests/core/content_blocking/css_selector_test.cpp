// Which hiding selectors the engine parses. One it cannot parse would drop
// every selector joined with it, so the check is strict.
#include "core/content_blocking/css_selector.h"

#include <gtest/gtest.h>

#include <string>

namespace nuve::core {
namespace {

TEST(CssSelector, AcceptsTheSelectorsFilterListsUse) {
  for (const char* selector :
       {".ad", "#ad-top", "div", "*", "a[href^=\"http://ads.\"]", "[data-ad='1' i]", "div > .x + p ~ span",
        "div:not(.a, .b)", "ul > li:nth-child(2n+1)", ".x:nth-of-type(odd)", "li:nth-child(3 of .ad)",
        "div:has(> a.sponsored)", ".a:is(div, p):where(.b)", "p::before", ".a:first-child",
        "div#中文广告", ".\\31 23", "div[class*=\"ad-\"]", "  .ad  ,  .banner  ", ":root > body > div:empty",
        "html:lang(zh)", "div:dir(rtl)"}) {
    EXPECT_TRUE(IsEngineSelector(selector)) << selector;
  }
}

TEST(CssSelector, RefusesBrokenSelectorsAndTheListsProceduralExtensions) {
  for (const char* selector :
       {"", "a[", "div[class=", "a]", ".", "#1ad", "div >", "> div", "a,", ",a", "a,,b", "div:unknown",
        "div:has(:has(a))", "p::before .x", "a:not(", ":nth-child(x)", "ns|div", "a /* c */", "a\nb\"",
        "div:contains(ad)", "div:-abp-has(.x)", "a\x01", "div:has-text(Ad)", "a:-webkit-any-link"}) {
    EXPECT_FALSE(IsEngineSelector(selector)) << selector;
  }
  EXPECT_TRUE(IsProceduralSelector("div:-abp-has(.x)"));
  EXPECT_TRUE(IsProceduralSelector("body:style(overflow: auto !important)"));
  EXPECT_FALSE(IsProceduralSelector("div:has(.x)"));
  EXPECT_FALSE(IsEngineSelector(std::string(kMaxSelectorLength + 1, 'a')));
}

}  // namespace
}  // namespace nuve::core
