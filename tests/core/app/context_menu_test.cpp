#include "core/app/context_menu.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <string>

namespace nuve::core {
namespace {

TEST(ContextMenuTest, AddressesAllowWhatCannotHarmTheUser) {
  const AddressUses web = UsesOfAddress("HTTPS://example.com/a");
  EXPECT_TRUE(web.open_in_tab && web.save && web.add_favourite);
  EXPECT_TRUE(UsesOfAddress("file:///tmp/a.html").open_in_tab);
  // A script address does nothing wherever it would land.
  const AddressUses script = UsesOfAddress("JavaScript:alert(1)");
  EXPECT_FALSE(script.open_in_tab || script.save || script.add_favourite);
  // data: opens only what cannot pass for a site; SVG and HTML run scripts.
  EXPECT_TRUE(UsesOfAddress("data:image/png;base64,iVBOR").open_in_tab);
  EXPECT_TRUE(UsesOfAddress("data:,plain%20text").open_in_tab);
  EXPECT_TRUE(UsesOfAddress("data:Video/MP4;base64,AAAA").open_in_tab);
  EXPECT_FALSE(UsesOfAddress("data:text/html,<script>x</script>").open_in_tab);
  EXPECT_FALSE(UsesOfAddress("data:image/svg+xml;utf8,<svg onload=x>").open_in_tab);
  EXPECT_FALSE(UsesOfAddress("data:text/html;charset=utf-8,<b>").open_in_tab);
  EXPECT_TRUE(UsesOfAddress("data:text/html,<b>").save);
  EXPECT_FALSE(UsesOfAddress("data:image/png,x").add_favourite);
  EXPECT_FALSE(UsesOfAddress("blob:http://a/1").open_in_tab);
  EXPECT_FALSE(UsesOfAddress("mailto:a@b").open_in_tab);
  EXPECT_FALSE(UsesOfAddress("").save);
  EXPECT_FALSE(UsesOfAddress(":nothing").open_in_tab);
  EXPECT_FALSE(UsesOfAddress("1http://x").open_in_tab);
}

TEST(ContextMenuTest, ASelectionIsSearchedByItsFirstThousandCharactersAndCaptionedByTwenty) {
  EXPECT_EQ(SearchTerms("  rust\n\town\u3000ership  "), "rust own ership");
  EXPECT_EQ(SearchCaption("所有权 ownership"), "用搜索引擎搜索“所有权 ownership”");
  EXPECT_EQ(SearchCaption("一二三四五六七八九十一二三四五六七八九十多"), "用搜索引擎搜索“一二三四五六七八九十一二三四五六七八九十…”");
  // A mebibyte of text: a thousand characters, never half of one, no blank at the end.
  std::string big;
  while (big.size() < (1u << 20)) big += "汉 ";
  const std::string terms = SearchTerms(big);
  EXPECT_EQ(g_utf8_strlen(terms.c_str(), -1), 999) << "the blank that would be the thousandth is dropped";
  EXPECT_TRUE(g_utf8_validate(terms.c_str(), -1, nullptr));
  EXPECT_NE(terms.back(), ' ');
  EXPECT_EQ(g_utf8_strlen(SearchTerms(std::string(5000, 'a')).c_str(), -1), 1000);
  // Bytes that are not UTF-8 cannot break the caption.
  EXPECT_TRUE(g_utf8_validate(SearchCaption("a\xff\xfe b").c_str(), -1, nullptr));
  EXPECT_EQ(SearchTerms(" \n "), "");
}

TEST(ContextMenuTest, TheSourcePageShowsTheBytesAsTextWhateverTheyAre) {
  const std::string page = SourcePageHtml("http://a.test/?x=<1>", "<p title=\"t\">所有 & 权</p>", "");
  EXPECT_NE(page.find("<title>源代码 - http://a.test/?x=&lt;1&gt;</title>"), std::string::npos) << page;
  EXPECT_NE(page.find("&lt;p title=&quot;t&quot;&gt;所有 &amp; 权&lt;/p&gt;"), std::string::npos) << page;
  // GBK as the response says, GBK when it says nothing, and stray bytes.
  EXPECT_NE(SourcePageHtml("u", "\xc4\xe3\xba\xc3", "gb2312").find("你好"), std::string::npos);
  EXPECT_NE(SourcePageHtml("u", "\xc4\xe3\xba\xc3", "").find("你好"), std::string::npos);
  const std::string odd = SourcePageHtml("u", std::string("a\0b\xff", 4), "no-such-charset");
  EXPECT_TRUE(g_utf8_validate(odd.c_str(), -1, nullptr));
  EXPECT_NE(odd.find("a\xEF\xBF\xBD" "b"), std::string::npos) << "the text goes on after a NUL";
}

}  // namespace
}  // namespace nuve::core
