// The filter list converter, by kind of rule: what a converted list blocks
// and hides, judged by a model of the engine (engine_model.h) that also
// checks every rule is one the engine accepts.
#include "core/content_blocking/filter_list_converter.h"

#include <gtest/gtest.h>

#include <random>

#include "engine_model.h"

namespace nuve::core {
namespace {

using test::EngineModel;

struct Converted {
  ConvertedFilterList list;
  EngineModel engine;
};

Converted Convert(const std::string& text, const ConvertOptions& options = {}) {
  ConvertedFilterList list = ConvertFilterList(text, options);
  EngineModel engine(list.json);
  EXPECT_EQ(engine.size(), list.rule_count);
  EXPECT_LE(list.rule_count, options.max_rules);
  return {std::move(list), std::move(engine)};
}

TEST(FilterListConverterNetwork, AnchorsWildcardsAndSeparatorMatchAsAdblockPlusDoes) {
  const Converted c = Convert(
      "[Adblock Plus 2.0]\n! Title: Test list\n"
      "||ads.example^\n"
      "|http://exact.test/start\n"
      "swf|\n"
      "/banner/*/img^\n"
      "-ad-unit.\n"
      "||广告.test^\n"
      "/中文广告/a.\n");
  EXPECT_EQ(c.list.title, "Test list");
  EXPECT_EQ(c.list.filter_count, 7u);
  EXPECT_EQ(c.list.converted_count, 7u);
  EXPECT_EQ(c.list.SkippedCount(), 0u);
  const EngineModel& e = c.engine;
  // "||": the host or any of its subdomains, whatever the scheme; "^" ends the name.
  EXPECT_TRUE(e.Blocks("http://ads.example/x.js"));
  EXPECT_TRUE(e.Blocks("https://cdn.ads.example:8443/x.js"));
  EXPECT_TRUE(e.Blocks("wss://ads.example/socket", kWebSocket));
  EXPECT_FALSE(e.Blocks("http://badads.example/x.js"));
  EXPECT_FALSE(e.Blocks("http://ads.example.org/x.js"));
  EXPECT_FALSE(e.Blocks("http://site.test/?u=ads.example"));
  // "|" anchors at either end.
  EXPECT_TRUE(e.Blocks("http://exact.test/start/page"));
  EXPECT_FALSE(e.Blocks("https://exact.test/start"));
  EXPECT_TRUE(e.Blocks("http://cdn.test/movie.swf", kMedia));
  EXPECT_FALSE(e.Blocks("http://cdn.test/movie.swf?x", kMedia));
  // "*" is any run; a final "^" is a separator or the end of the address.
  EXPECT_TRUE(e.Blocks("http://cdn.test/banner/2024/img", kImage));
  EXPECT_TRUE(e.Blocks("http://cdn.test/banner/2024/img?w=1", kImage));
  EXPECT_FALSE(e.Blocks("http://cdn.test/banner/2024/imgs", kImage));
  EXPECT_TRUE(e.Blocks("http://cdn.test/a-ad-unit.js"));
  // Non-ASCII: hosts in punycode, paths percent-encoded as the engine sees them.
  EXPECT_TRUE(e.Blocks("http://xn--4rr70v.test/a.js"));
  EXPECT_TRUE(e.Blocks("http://cdn.test/%E4%B8%AD%E6%96%87%E5%B9%BF%E5%91%8A/a.js"));
  // A page itself and the windows it opens are left alone without $document or $popup.
  EXPECT_FALSE(e.Blocks("http://ads.example/", kTopDocument));
  EXPECT_FALSE(e.Blocks("http://ads.example/", kPopup));
  EXPECT_TRUE(e.Blocks("http://ads.example/frame.html", kChildDocument));
}

TEST(FilterListConverterNetwork, RegexRulesUseTheEnginesSubsetOrAreSkipped) {
  const Converted c = Convert(
      "/^https?:\\/\\/cdn\\d+\\.track\\.test\\//\n"
      "/\\/(ad|banner)s?\\/[a-f0-9]{4,}\\.js/$script\n"
      "/(?:pop|under)\\.html/$popup\n"
      "/\\bads\\b/\n"
      "/(?=x)y/\n"
      "/" + std::string(10000, 'a') + "/\n"
      "/(a|b|c|d)(e|f|g|h)(i|j|k|l)(m|n|o|p)/\n"
      "/x.{100,}/\n");
  const EngineModel& e = c.engine;
  EXPECT_TRUE(e.Blocks("https://cdn42.track.test/p.gif", kImage));
  EXPECT_FALSE(e.Blocks("https://cdn.track.test/p.gif", kImage));
  EXPECT_TRUE(e.Blocks("http://x.test/ads/0a1b2c.js"));
  EXPECT_TRUE(e.Blocks("http://x.test/banner/ffff.js"));
  EXPECT_FALSE(e.Blocks("http://x.test/ads/0a1.js"));
  EXPECT_FALSE(e.Blocks("http://x.test/ads/0a1b2c.js", kImage));
  EXPECT_TRUE(e.Blocks("http://x.test/under.html", kPopup));
  // Word boundaries, look-arounds, a 10,000-character expression, 256
  // alternatives and a hundred wild characters cannot be given to the engine.
  EXPECT_EQ(c.list.skipped.at("regex"), 5u);
  EXPECT_EQ(c.list.converted_count, 3u);
}

TEST(FilterListConverterOptions, PartyDomainsTypesAndCaseNarrowARule) {
  const Converted c = Convert(
      "||third.test^$third-party\n"
      "||first.test^$~third-party\n"
      "||dom.test^$domain=news.test|~sport.news.test\n"
      "||only.test^$domain=a.test|b.test\n"
      "||not.test^$domain=~c.test\n"
      "||types.test^$script,image\n"
      "||nottypes.test^$~script\n"
      "||css.test^$stylesheet,xmlhttprequest,subdocument,media,font,websocket\n"
      "||pop.test^$popup\n"
      "||page.test^$document\n"
      "/CaseAd.$match-case\n");
  const EngineModel& e = c.engine;
  EXPECT_TRUE(e.Blocks("http://third.test/a.js", kScript, "http://site.test/"));
  EXPECT_FALSE(e.Blocks("http://third.test/a.js", kScript, "http://www.third.test/"));
  EXPECT_TRUE(e.Blocks("http://first.test/a.js", kScript, "http://www.first.test/"));
  EXPECT_FALSE(e.Blocks("http://first.test/a.js", kScript, "http://site.test/"));
  // An exclusion inside an included site cannot be expressed: skipped.
  EXPECT_FALSE(e.Blocks("http://dom.test/a.js", kScript, "http://news.test/"));
  EXPECT_EQ(c.list.skipped.at("domain"), 1u);
  EXPECT_TRUE(e.Blocks("http://only.test/a.js", kScript, "http://www.b.test/"));
  EXPECT_FALSE(e.Blocks("http://only.test/a.js", kScript, "http://site.test/"));
  EXPECT_FALSE(e.Blocks("http://not.test/a.js", kScript, "http://c.test/"));
  EXPECT_TRUE(e.Blocks("http://not.test/a.js", kScript, "http://site.test/"));
  EXPECT_TRUE(e.Blocks("http://types.test/a.png", kImage));
  EXPECT_FALSE(e.Blocks("http://types.test/a.css", kStyleSheet));
  EXPECT_FALSE(e.Blocks("http://nottypes.test/a.js", kScript));
  EXPECT_TRUE(e.Blocks("http://nottypes.test/a.png", kImage));
  for (std::uint32_t type : {kStyleSheet, kFetch, kChildDocument, kMedia, kFont, kWebSocket}) {
    EXPECT_TRUE(e.Blocks("http://css.test/x", type)) << type;
  }
  EXPECT_FALSE(e.Blocks("http://css.test/x", kScript));
  EXPECT_TRUE(e.Blocks("http://pop.test/", kPopup));
  EXPECT_FALSE(e.Blocks("http://pop.test/a.js", kScript));
  EXPECT_TRUE(e.Blocks("http://page.test/", kTopDocument));
  EXPECT_TRUE(e.Blocks("http://x.test/CaseAd.js"));
  EXPECT_FALSE(e.Blocks("http://x.test/casead.js"));
}

TEST(FilterListConverterOptions, WhatTheEngineCannotDoIsSkippedAndCountedByKind) {
  const Converted c = Convert(
      "||a.test^$csp=script-src 'none'\n"
      "||b.test^$redirect=noop.js\n"
      "||c.test^$removeparam=utm\n"
      "||d.test^$object\n"
      "||e.test^$script,object\n"
      "||f.test^$sitekey=abc\n"
      "||g.test^$domain=example.*\n"
      "example.com##+js(abort-on-property-read, x)\n"
      "example.com#?#div:-abp-has(.ad)\n"
      "example.com##div:has-text(Ad)\n"
      "example.com#$#hide-if-contains ad\n"
      "example.com#%#window.x=1\n"
      "example.com##^script:has-text(ad)\n"
      "##a[\n"
      "##div[class=\n"
      "##:nth-child(x)\n");
  const std::map<std::string, std::size_t> expected = {
      {"csp", 1},        {"redirect", 1}, {"removeparam", 1}, {"object", 1},      {"option", 1},
      {"domain", 1},     {"scriptlet", 2}, {"procedural", 2}, {"snippet", 1},     {"html-filter", 1},
      {"selector", 3}};
  EXPECT_EQ(c.list.skipped, expected);
  EXPECT_EQ(c.list.filter_count, 16u);
  // "$script,object" keeps its script part.
  EXPECT_EQ(c.list.converted_count, 1u);
  EXPECT_TRUE(c.engine.Blocks("http://e.test/x.js"));
}

TEST(FilterListConverterExceptions, EachExceptionFollowsWhatItExcepts) {
  // The exceptions come first in the file; the engine still sees them after
  // the filters they cancel.
  const Converted c = Convert(
      "@@||ads.test/allowed/$image\n"
      "@@||ads.test^$script,domain=friend.test\n"
      "@@||evil.test/ok.js$important\n"
      "||ads.test^\n"
      "||evil.test^$important\n"
      "@@||ads.test/everything^\n");
  const EngineModel& e = c.engine;
  EXPECT_TRUE(e.Blocks("http://ads.test/x.png", kImage));
  EXPECT_FALSE(e.Blocks("http://ads.test/allowed/x.png", kImage));
  EXPECT_TRUE(e.Blocks("http://ads.test/allowed/x.js", kScript));
  EXPECT_FALSE(e.Blocks("http://ads.test/x.js", kScript, "http://friend.test/"));
  EXPECT_TRUE(e.Blocks("http://ads.test/x.js", kScript, "http://site.test/"));
  EXPECT_FALSE(e.Blocks("http://ads.test/everything/x.js"));
  // $important filters win over exceptions.
  EXPECT_TRUE(e.Blocks("http://evil.test/ok.js"));
  EXPECT_EQ(c.list.converted_count, 6u);
}

TEST(FilterListConverterExceptions, DocumentExceptionsLetAWholePageThrough) {
  const Converted c = Convert(
      "||ads.test^\n"
      "||bad.test^$document\n"
      "##.ad\n"
      "@@||trusted.test^$document\n"
      "@@||bad.test/help^$document\n");
  const EngineModel& e = c.engine;
  EXPECT_TRUE(e.Blocks("http://ads.test/a.js", kScript, "http://site.test/"));
  EXPECT_FALSE(e.Blocks("http://ads.test/a.js", kScript, "http://www.trusted.test/page"));
  EXPECT_EQ(e.HiddenOn("http://site.test/"), std::set<std::string>{".ad"});
  EXPECT_TRUE(e.HiddenOn("http://trusted.test/").empty());
  EXPECT_TRUE(e.Blocks("http://bad.test/", kTopDocument, "http://bad.test/"));
  EXPECT_FALSE(e.Blocks("http://bad.test/help/", kTopDocument, "http://bad.test/help/"));
}

TEST(FilterListConverterHiding, GenericAndSiteSelectorsAreGroupedIntoFewRules) {
  std::string text = "##.banner\n##div#ad-top > .x\n~quiet.test##.loud\n";
  for (int i = 0; i < 600; ++i) text += "##.gen" + std::to_string(i) + "\n";
  text += "news.test,blog.test##.sidebar-ad\nblog.test,news.test##.promo\nnews.test##.only-news\n";
  const Converted c = Convert(text);
  const EngineModel& e = c.engine;
  const std::set<std::string> on_site = e.HiddenOn("http://site.test/");
  EXPECT_EQ(on_site.size(), 603u);
  EXPECT_EQ(on_site.count("div#ad-top > .x"), 1u);
  EXPECT_EQ(e.HiddenOn("http://www.quiet.test/").count(".loud"), 0u);
  const std::set<std::string> on_news = e.HiddenOn("https://m.news.test/a");
  EXPECT_EQ(on_news.count(".sidebar-ad") + on_news.count(".promo") + on_news.count(".only-news"), 3u);
  const std::set<std::string> on_blog = e.HiddenOn("http://blog.test/");
  EXPECT_EQ(on_blog.count(".promo"), 1u);
  EXPECT_EQ(on_blog.count(".only-news"), 0u);
  // 602 generic selectors in 3 rules, one for the quiet site, two site groups.
  EXPECT_EQ(c.list.rule_count, 3u + 1u + 2u);
  // The generic ones make the style sheet the engine parses once, not per page.
  EXPECT_EQ(e.SharedHiding().size(), 602u);
  EXPECT_EQ(c.list.converted_count, 606u);
}

TEST(FilterListConverterHiding, HidingExceptionsTakeSelectorsOutWhereTheyApply) {
  const Converted c = Convert(
      "##.ad\n##.sponsor\n##.everywhere-ok\n"
      "shop.test,news.test##.shop-ad\n"
      "shop.test#@#.ad\n"
      "shop.test#@#.shop-ad\n"
      "#@#.everywhere-ok\n"
      "@@||nohide.test^$elemhide\n"
      "@@||nogeneric.test^$generichide\n"
      "nogeneric.test##.specific\n"
      "||ads.test^\n@@||ads.test/fine^\n");
  const EngineModel& e = c.engine;
  EXPECT_EQ(e.HiddenOn("http://site.test/"), (std::set<std::string>{".ad", ".sponsor"}));
  EXPECT_EQ(e.HiddenOn("http://www.shop.test/"), std::set<std::string>{".sponsor"});
  EXPECT_EQ(e.HiddenOn("http://news.test/").count(".shop-ad"), 1u);
  EXPECT_TRUE(e.HiddenOn("http://nohide.test/").empty());
  EXPECT_EQ(e.HiddenOn("http://nogeneric.test/"), std::set<std::string>{".specific"});
  // Hiding exceptions cancel hiding only, on every load of their pages.
  for (const char* page : {"http://nohide.test/", "http://nogeneric.test/", "http://site.test/"}) {
    EXPECT_TRUE(e.Blocks("http://ads.test/x.js", kScript, page)) << page;
    EXPECT_TRUE(e.Blocks("http://ads.test/x.png", kImage, page)) << page;
    EXPECT_FALSE(e.Blocks("http://ads.test/fine/x.png", kImage, page)) << page;
  }
  EXPECT_TRUE(e.SharedHiding().count(".sponsor"));
}

TEST(FilterListConverterOutput, TheSameListGivesTheSameBytes) {
  const std::string text = "||a.test^\nx.test,y.test##.b\n##.c\n@@||a.test/ok^\ny.test#@#.c\n";
  const ConvertedFilterList first = ConvertFilterList(text);
  EXPECT_EQ(ConvertFilterList(text).json, first.json);
  EXPECT_EQ(ConvertFilterList("\xEF\xBB\xBF" + text).json, first.json);
  std::string crlf;
  for (const char ch : text) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  EXPECT_EQ(ConvertFilterList(crlf).json, first.json);
  // A list without a usable filter gives no list at all: the engine refuses empty ones.
  const ConvertedFilterList nothing = ConvertFilterList("! only a comment\n##a[\n");
  EXPECT_TRUE(nothing.json.empty());
  EXPECT_EQ(nothing.rule_count, 0u);
}

TEST(FilterListConverterBadInput, GarbageBinaryAndHtmlGiveAValidListOrNone) {
  std::mt19937 random(16);
  std::string garbage(256 * 1024, '\0');
  for (char& ch : garbage) ch = static_cast<char>(random());
  const Converted binary = Convert(garbage);
  EXPECT_GT(binary.list.skipped.at("malformed"), 0u);
  const Converted html = Convert(
      "<!DOCTYPE html>\n<html><head><title>502 Bad Gateway</title></head>\n"
      "<body><div class=\"error\">Bad Gateway</div><script>var a = 1 | 2;</script></body></html>\n");
  // Whatever survives is a rule the engine accepts (checked by the model).
  EXPECT_LE(html.list.rule_count, 3u);
}

TEST(FilterListConverterBadInput, AMillionRulesStayWithinTheEnginesLimitAndKeepTheExceptions) {
  std::string text;
  text.reserve(24 * 1000000);
  text += "@@||ad0.test/fine^\n";
  for (int i = 0; i < 1000000; ++i) text += "||ad" + std::to_string(i) + ".test^\n";
  const ConvertedFilterList list = ConvertFilterList(text);
  EXPECT_EQ(list.rule_count, kMaxEngineRules);
  // Room for the exception.
  EXPECT_EQ(list.skipped.at("limit"), 1000000u - (kMaxEngineRules - 1));
  // The exception is still there, after the filter it excepts.
  ConvertOptions small;
  small.max_rules = 10;
  const Converted c = Convert(text.substr(0, 200000), small);
  EXPECT_TRUE(c.engine.Blocks("http://ad0.test/x.js"));
  EXPECT_FALSE(c.engine.Blocks("http://ad0.test/fine/x.js"));
}

TEST(FilterListConverterBadInput, AStopRequestEndsALongConversion) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "||ad" + std::to_string(i) + ".test^\n";
  std::stop_source stop;
  stop.request_stop();
  ConvertOptions options;
  options.stop = stop.get_token();
  const ConvertedFilterList list = ConvertFilterList(text, options);
  EXPECT_TRUE(list.stopped);
  EXPECT_TRUE(list.json.empty());
}

}  // namespace
}  // namespace nuve::core
