// The content-blocking settings file, in a fresh temporary folder.
#include "core/content_blocking/content_blocking_settings.h"

#include <gtest/gtest.h>

#include "support/temp_home.h"

namespace nuve::core {
namespace {

using test::TempHome;
using test::WriteFileBytes;

TEST(ContentBlockingSettings, BlockingIsOnAndTheOfferUnansweredUntilTheUserChooses) {
  TempHome home;
  const ContentBlockingSettings settings(home.path() / "Adblock.ini");
  EXPECT_TRUE(settings.Enabled());
  EXPECT_FALSE(settings.AutomaticUpdates().has_value());
  ASSERT_TRUE(settings.SetEnabled(false).ok());
  ASSERT_TRUE(settings.SetAutomaticUpdates(false).ok());
  EXPECT_FALSE(settings.Enabled());
  EXPECT_EQ(settings.AutomaticUpdates(), std::optional<bool>(false));
  ASSERT_TRUE(settings.SetAutomaticUpdates(true).ok());
  EXPECT_EQ(settings.AutomaticUpdates(), std::optional<bool>(true));
  EXPECT_EQ(test::ReadFileBytes(home.path() / "Adblock.ini").find("[广告拦截]"), 0u);
}

TEST(ContentBlockingSettings, SitesAreRememberedByHostAndCanBeTurnedBackOn) {
  TempHome home;
  const ContentBlockingSettings settings(home.path() / "Adblock.ini");
  EXPECT_EQ(ContentBlockingSettings::SiteOf("https://News.Example.com:8443/a?b#c"), "news.example.com");
  EXPECT_EQ(ContentBlockingSettings::SiteOf("about:blank"), "");
  EXPECT_EQ(ContentBlockingSettings::SiteOf("file:///tmp/a.html"), "");
  EXPECT_EQ(ContentBlockingSettings::SiteOf("not a uri"), "");
  ASSERT_TRUE(settings.SetSiteExcepted("news.example.com", true).ok());
  ASSERT_TRUE(settings.SetSiteExcepted("Shop.Test", true).ok());
  EXPECT_TRUE(settings.IsSiteExcepted("NEWS.example.com"));
  EXPECT_FALSE(settings.IsSiteExcepted("example.com"));
  EXPECT_FALSE(settings.IsSiteExcepted("www.news.example.com"));
  EXPECT_EQ(settings.ExceptedSites(), (std::vector<std::string>{"news.example.com", "shop.test"}));
  ASSERT_TRUE(settings.SetSiteExcepted("shop.test", false).ok());
  EXPECT_EQ(settings.ExceptedSites(), std::vector<std::string>{"news.example.com"});
  EXPECT_EQ(settings.SetSiteExcepted("", true).error().kind, ErrorKind::kInvalidName);
  EXPECT_EQ(settings.SetSiteExcepted("a=b", true).error().kind, ErrorKind::kInvalidName);
  EXPECT_EQ(settings.SetSiteExcepted("a\nb", true).error().kind, ErrorKind::kInvalidName);
}

TEST(ContentBlockingSettings, SubscriptionsKeepTheirOrderAndRefuseWhatIsNoWebAddress) {
  TempHome home;
  const auto file = home.path() / "Adblock.ini";
  const ContentBlockingSettings settings(file);
  const std::string a = "https://lists.test/a.txt?x=1&y=2";
  const std::string b = "http://lists.test/b.txt";
  ASSERT_TRUE(settings.AddSubscription(a).ok());
  ASSERT_TRUE(settings.AddSubscription(b).ok());
  ASSERT_TRUE(settings.AddSubscription(a).ok());
  for (const char* bad : {"", "ftp://lists.test/a.txt", "file:///etc/passwd", "https://", "https://a b/c",
                          "javascript:alert(1)"}) {
    EXPECT_EQ(settings.AddSubscription(bad).error().kind, ErrorKind::kInvalidName) << bad;
  }
  auto subscriptions = settings.Subscriptions();
  ASSERT_EQ(subscriptions.size(), 2u);
  EXPECT_EQ(subscriptions[0].url, a);
  EXPECT_EQ(subscriptions[0].id, ContentBlockingSettings::SubscriptionId(a));
  EXPECT_EQ(subscriptions[0].id.size(), 16u);
  ASSERT_TRUE(settings.RemoveSubscription(subscriptions[0].id).ok());
  subscriptions = settings.Subscriptions();
  ASSERT_EQ(subscriptions.size(), 1u);
  EXPECT_EQ(subscriptions[0].url, b);
  // A hand-edited line whose name does not fit its address is not used.
  WriteFileBytes(file, test::ReadFileBytes(file) + "0123456789abcdef=https://elsewhere.test/list.txt\n");
  EXPECT_EQ(settings.Subscriptions().size(), 1u);
}

}  // namespace
}  // namespace nuve::core
