// Refreshing a subscription through the proxy of the command line: a stand-in
// proxy on 127.0.0.1 plays the list's publisher, so nothing leaves the machine.
#include "core/content_blocking/filter_list_download.h"

#include <gtest/gtest.h>

#include <string>

#include "support/site_proxy.h"
#include "support/temp_home.h"

namespace nuve::core {
namespace {

using test::SiteProxy;
using test::TempHome;

constexpr char kHost[] = "lists.publisher.test";
constexpr char kDate[] = "Wed, 21 Oct 2015 07:28:00 GMT";
const std::string kGoodList = "[Adblock Plus 2.0]\n! Title: Good\n||ads.test^\n##.banner\n";

class FilterListDownloadTest : public ::testing::Test {
 protected:
  FilterListDownloadTest() : catalog_(home_.path(), home_.path() / "none") {
    options_.proxy = proxy_.address();
    options_.timeout_ms = 5000;
  }

  SubscriptionRefresh Refresh(const std::string& path, std::int64_t now) {
    const std::string url = std::string("http://") + kHost + path;
    return RefreshSubscription(catalog_, {ContentBlockingSettings::SubscriptionId(url), url}, options_, now);
  }
  std::string Stored(const std::string& path) const {
    const std::string url = std::string("http://") + kHost + path;
    return test::ReadFileBytes(catalog_.SubscriptionFile(ContentBlockingSettings::SubscriptionId(url)));
  }

  TempHome home_;
  SiteProxy proxy_;
  FilterListCatalog catalog_;
  FilterDownloadOptions options_;
};

TEST_F(FilterListDownloadTest, ANewListIsStoredAndAnUnchangedOneIsOnlyChecked) {
  std::string if_modified_since = "none";
  proxy_.Handle(kHost, "/list.txt", [&](const httplib::Request& request) {
    if_modified_since = request.get_header_value("If-Modified-Since");
    SiteProxy::Reply reply;
    reply.content_type = "text/plain";
    reply.headers = {{"Last-Modified", kDate}};
    if (if_modified_since == kDate) {
      reply.status = 304;
    } else {
      reply.body = kGoodList;
    }
    return reply;
  });
  SubscriptionRefresh first = Refresh("/list.txt", 1000);
  EXPECT_TRUE(first.changed);
  EXPECT_EQ(if_modified_since, "");
  EXPECT_EQ(Stored("/list.txt"), kGoodList);
  EXPECT_EQ(first.prepared.record.title, "Good");
  EXPECT_EQ(first.prepared.record.converted_count, 2u);
  EXPECT_FALSE(first.prepared.record.stamp.empty());
  EXPECT_EQ(first.state.last_modified, kDate);
  EXPECT_EQ(first.state.last_updated, 1000);

  SubscriptionRefresh second = Refresh("/list.txt", 2000);
  EXPECT_FALSE(second.changed);
  EXPECT_EQ(if_modified_since, kDate);
  EXPECT_EQ(second.state.last_checked, 2000);
  EXPECT_EQ(second.state.last_updated, 1000);
  EXPECT_TRUE(second.state.last_error.empty());
  EXPECT_EQ(Stored("/list.txt"), kGoodList);
  EXPECT_EQ(proxy_.Hits(kHost, "/list.txt"), 2);
}

TEST_F(FilterListDownloadTest, EveryBadReplyKeepsTheLastGoodList) {
  proxy_.Serve(kHost, "/list.txt", {200, "text/plain", kGoodList, {}, 0});
  ASSERT_TRUE(Refresh("/list.txt", 1000).changed);
  const std::string url = std::string("http://") + kHost + "/list.txt";

  struct Case {
    const char* what;
    SiteProxy::Reply reply;
  };
  std::string garbage(4096, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7919 % 251);
  const std::vector<Case> cases = {
      {"an HTML error page", {200, "text/html", "<!DOCTYPE html><html><body>502 Bad Gateway</body></html>", {}, 0}},
      {"a page that says so late", {200, "text/html", "\n\n  <html><body>Sorry</body></html>", {}, 0}},
      {"binary garbage", {200, "application/octet-stream", garbage, {}, 0}},
      {"a server error", {500, "text/plain", "oops", {}, 0}},
      {"nothing usable", {200, "text/plain", "! only comments\n##a[\n", {}, 0}},
      {"a redirect loop", {302, "text/plain", "", {{"Location", url}}, 0}},
      {"a reply that never comes", {200, "text/plain", kGoodList, {}, 3000}},
      {"a list over the size limit", {200, "text/plain", kGoodList + std::string(4096, '!'), {}, 0}},
  };
  options_.timeout_ms = 400;
  options_.max_bytes = 2048;
  std::int64_t now = 2000;
  for (const Case& c : cases) {
    proxy_.Serve(kHost, "/list.txt", c.reply);
    const SubscriptionRefresh refresh = Refresh("/list.txt", ++now);
    EXPECT_FALSE(refresh.changed) << c.what;
    EXPECT_FALSE(refresh.state.last_error.empty()) << c.what;
    EXPECT_EQ(refresh.state.last_attempt, now) << c.what;
    EXPECT_EQ(refresh.state.last_checked, 1000) << c.what;
    EXPECT_TRUE(refresh.prepared.json.empty()) << c.what;
    EXPECT_EQ(Stored("/list.txt"), kGoodList) << c.what;
  }
  // The redirect loop was followed ten times, not forever.
  EXPECT_LE(proxy_.Hits(kHost, "/list.txt"), 1 + 6 + 11 + 2);
}

TEST_F(FilterListDownloadTest, OnlyWebAddressesAreFetchedAndAStopEndsTheWait) {
  EXPECT_EQ(DownloadFilterList("file:///etc/passwd", "", options_).outcome, FilterListDownload::Outcome::kFailed);
  proxy_.Serve(kHost, "/slow.txt", {200, "text/plain", kGoodList, {}, 3000});
  std::stop_source stop;
  stop.request_stop();
  options_.stop = stop.get_token();
  const SubscriptionRefresh refresh = Refresh("/slow.txt", 5000);
  EXPECT_FALSE(refresh.changed);
  // A stopped attempt is not remembered: the next start tries again.
  EXPECT_EQ(catalog_.State(ContentBlockingSettings::SubscriptionId(std::string("http://") + kHost + "/slow.txt"))
                .last_attempt,
            0);
}

}  // namespace
}  // namespace nuve::core
