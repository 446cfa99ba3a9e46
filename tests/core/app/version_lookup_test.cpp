// The version label in a version-source reply, and the text-between rule.
#include "core/app/version_lookup.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "core/util/text_between.h"

namespace nuve::core {
namespace {

TEST(TextBetween, FindsTheTextBetweenMarkers) {
  std::string text = "a\"1.0\"c";
  EXPECT_EQ(TextBetween(text, "\"", "\"", 0), "1.0");
  std::string skipped = "a\"1.0\"c";
  EXPECT_EQ(TextBetween(skipped, "\"", "\"", 2), "");
  EXPECT_EQ(skipped, "1.0\"c") << "the caller's text is shortened too";
  std::string s = "key=value;rest";
  EXPECT_EQ(TextBetween(s, "key=", "", 0), "value;rest");
  EXPECT_EQ(TextBetween(s, "", ";", 0), "key=value");
  EXPECT_EQ(TextBetween(s, "nope", ";", 0), "");
  EXPECT_EQ(TextBetween(s, "key=", "nope", 0), "");
  std::string small = "ab";
  EXPECT_EQ(TextBetween(small, "a", "b", 99), "");
}

TEST(VersionLookup, LabelFollowsTheKeyAndElevenBytes) {
  const std::string key = "123456";
  EXPECT_EQ(ExtractVersionLabel("xx123456ABCDEFGHIJK\"beta M1.3.00\"", key), "beta M1.3.00");
  // The last occurrence of the key counts.
  EXPECT_EQ(ExtractVersionLabel("123456ABCDEFGHIJK\"old\" 123456abcdefghijk\"new\"", key), "new");
  // A quote within the eleven skipped bytes is not a marker.
  EXPECT_EQ(ExtractVersionLabel("123456\"ABCDEFGHIJ\"label\"", key), "label");
  EXPECT_EQ(ExtractVersionLabel("no key here \"beta\"", key), "") << "a reply without the key has no label";
  EXPECT_EQ(ExtractVersionLabel("123456ABCDEFGHIJK\"unterminated", key), "");
  EXPECT_EQ(ExtractVersionLabel("", key), "");
}

TEST(VersionLookup, GbkReplyIsDecoded) {
  // "新版" in GBK is D0 C2 B0 E6.
  const std::string reply = std::string("77ABCDEFGHIJK\"") + "\xD0\xC2\xB0\xE6" + "\"";
  EXPECT_EQ(ExtractVersionLabel(reply, "77"), "新版");
}

TEST(VersionLookup, EmptyLabelNeverAsksForAnUpdate) {
  EXPECT_FALSE(IsNewerVersionPublished(""));
  EXPECT_FALSE(IsNewerVersionPublished("beta M1.3.00"));
  EXPECT_TRUE(IsNewerVersionPublished("beta M1.4.00"));
}

TEST(VersionLookup, FetchesTheSourceOverHttp) {
  httplib::Server server;
  std::string seen_query;
  server.Get("/fcg-bin/cgi_get_portrait.fcg", [&](const httplib::Request& req, httplib::Response& res) {
    seen_query = req.get_param_value("uins") + "|" + req.get_param_value("get_nick");
    res.set_content("cb({\"42\":[\"12345678\"beta M9.9.99\",0]})", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { server.listen_after_bind(); });
  Config config;
  config.version_source = "http://127.0.0.1:" + std::to_string(port) + "/";
  config.version_key = "42";
  const std::string label = LatestVersionLookup(config);
  server.stop();
  thread.join();
  EXPECT_EQ(seen_query, "42|1");
  EXPECT_EQ(label, "beta M9.9.99");
}

TEST(VersionLookup, NoLabelIsAFailureNeverANewVersion) {
  EXPECT_FALSE(IsNewerVersionPublished(""));
  EXPECT_FALSE(IsNewerVersionPublished("beta M1.3.00"));
  EXPECT_TRUE(IsNewerVersionPublished("beta m1.3.00"));
  const UpdateCheckOutcome failed = CompareWithLatest("");
  EXPECT_EQ(failed.result.text, "获取最新版本失败，请检查网络后重试！");
  EXPECT_EQ(failed.result.rgb, kRed);
  EXPECT_FALSE(failed.offer_download);
  EXPECT_FALSE(failed.show_latest);
  EXPECT_EQ(CompareWithLatest("beta M1.3.00").result.text, "当前已是最新版本！");
  EXPECT_FALSE(CompareWithLatest("beta M1.3.00").offer_download);
  const UpdateCheckOutcome newer = CompareWithLatest("beta M1.3.10");
  EXPECT_EQ(newer.result.text, "发现新版本，请更新！");
  EXPECT_TRUE(newer.offer_download);
  EXPECT_TRUE(newer.show_latest);
}

TEST(VersionLookup, UnreachableSourceGivesNoLabel) {
  Config config;
  config.version_source = "http://127.0.0.1:9";  // discard port: nothing listens
  config.version_key = "42";
  EXPECT_EQ(LatestVersionLookup(config), "");
}

}  // namespace
}  // namespace nuve::core
