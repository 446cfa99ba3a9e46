// Tab captions, window titles, the proxy list and address normalisation.
#include <gtest/gtest.h>

#include "core/app/address.h"
#include "core/app/proxy_settings.h"
#include "core/app/tab_caption.h"
#include "core/app/window_title.h"
#include "core/app/zoom_levels.h"

namespace nuve::core {
namespace {

TEST(TabCaption, PadsShortTitlesToNineteenColumns) {
  EXPECT_EQ(TabCaption(""), std::string(19, ' '));
  EXPECT_EQ(TabCaption("abc"), "abc" + std::string(16, ' '));
  EXPECT_EQ(TabCaption(std::string(19, 'x')), std::string(19, 'x'));
  EXPECT_EQ(PadCaption(0), std::string(19, ' '));
  EXPECT_EQ(PadCaption(19), "");
  EXPECT_EQ(PadCaption(40), "");
}

TEST(TabCaption, CutsLongTitlesAtNineteenColumns) {
  EXPECT_EQ(TabCaption(std::string(20, 'x')), std::string(19, 'x') + "...");
  EXPECT_EQ(TabCaption(std::string(200, 'y')), std::string(19, 'y') + "...");
}

TEST(TabCaption, WideCharactersCountTwoColumnsAndAreNeverSplit) {
  // Five CJK characters are ten columns: nine blanks fill the caption.
  EXPECT_EQ(NewTabCaption(), "新建选项卡" + std::string(9, ' '));
  EXPECT_EQ(TabCaption("新建选项卡"), NewTabCaption());
  EXPECT_EQ(DisplayColumns("新建选项卡"), 10);
  // Nine wide characters (18 columns) plus one: exactly 19 columns, padded by none.
  EXPECT_EQ(TabCaption("中文中文中文中文中a"), "中文中文中文中文中a");
  // Ten wide characters: the tenth would end at column 20, so the cut comes before it.
  EXPECT_EQ(TabCaption("中文中文中文中文中文"), "中文中文中文中文中...");
  // a + nine wide = 19 columns; a + ten wide is cut after the ninth.
  EXPECT_EQ(TabCaption("a中文中文中文中文中文"), "a中文中文中文中文中...");
}

TEST(TabCaption, InvalidBytesCountOneColumnAndDoNotCrash) {
  const std::string garbage("\xff\xfe\xe4\xb8", 4);
  EXPECT_EQ(DisplayColumns(garbage), 4);
  EXPECT_EQ(TabCaption(garbage), garbage + std::string(15, ' '));
}

TEST(WindowTitle, CarriesTheProxyHostWhenThereIsOne) {
  EXPECT_EQ(WindowTitle("T", ""), "T - NUVE浏览器M1");
  EXPECT_EQ(WindowTitle("T", "10.0.0.1"), "T - 10.0.0.1 - NUVE浏览器M1");
  EXPECT_EQ(WindowTitle("", ""), " - NUVE浏览器M1");
  EXPECT_EQ(WindowTitle("T", "", true), "T - 无痕浏览 - NUVE浏览器M1");
  EXPECT_EQ(WindowTitle("T", "10.0.0.1", true), "T - 无痕浏览 - 10.0.0.1 - NUVE浏览器M1");
}

TEST(ProxySettings, ListTextHasOneBlankAfterEachEquals) {
  EXPECT_EQ(ProxyListText("10.0.0.1", "808"),
            "ftp= 10.0.0.1:808;http= 10.0.0.1:808;https= 10.0.0.1:808;socks= 10.0.0.1:808");
  EXPECT_EQ(ProxyUri("127.0.0.1", "3128"), "http://127.0.0.1:3128");
}

TEST(Address, BareHostsGetHttpAndSchemesStay) {
  EXPECT_EQ(NormaliseAddress("www.example.test"), "http://www.example.test");
  EXPECT_EQ(NormaliseAddress("  127.0.0.1:8080/x "), "http://127.0.0.1:8080/x");
  EXPECT_EQ(NormaliseAddress("localhost:8080"), "http://localhost:8080");
  EXPECT_EQ(NormaliseAddress("https://a.test/"), "https://a.test/");
  EXPECT_EQ(NormaliseAddress("file:///tmp/x.html"), "file:///tmp/x.html");
  EXPECT_EQ(NormaliseAddress("about:blank"), "about:blank");
  EXPECT_EQ(NormaliseAddress("://x"), "http://://x");
  EXPECT_EQ(NormaliseAddress("   "), "");
}

TEST(Address, WordsAreSearchedAndHostsAreVisited) {
  for (const char* words : {"nuve", "hello world", "  two  words ", "中文", "what?", "a.b c", "intranet/x"}) {
    EXPECT_TRUE(IsSearchText(words)) << words;
  }
  for (const char* address : {"www.example.test", "localhost", "LOCALHOST/x", "localhost:8080", "intranet:8080",
                              "127.0.0.1", "[::1]:80", "http://nodot", "about:blank", "file:///tmp/x", "",
                              "zh.wikipedia.org/wiki/中文"}) {
    EXPECT_FALSE(IsSearchText(address)) << address;
  }
  const std::string query = "http://127.0.0.1:1/search?q=%s&lang=zh";
  EXPECT_EQ(AddressForTyped("hello world", query), "http://127.0.0.1:1/search?q=hello%20world&lang=zh");
  EXPECT_EQ(AddressForTyped("中文", query), "http://127.0.0.1:1/search?q=%E4%B8%AD%E6%96%87&lang=zh");
  EXPECT_EQ(AddressForTyped("a&b=c#d", query), "http://127.0.0.1:1/search?q=a%26b%3Dc%23d&lang=zh")
      << "the words never break out of the query";
  EXPECT_EQ(AddressForTyped("nuve", "http://s.test/?q="), "http://s.test/?q=nuve");
  EXPECT_EQ(AddressForTyped("www.example.test", query), "http://www.example.test") << "bare hosts keep http://";
}

TEST(Address, PortsBrowsersRefuseAreKnown) {
  for (const char* blocked : {"http://127.0.0.1:1/", "https://a.test:25/x", "HTTP://a.test:6667", "http://a.test:10080/"}) {
    EXPECT_TRUE(UsesBlockedPort(blocked)) << blocked;
  }
  for (const char* fine : {"http://a.test/", "http://a.test:8080/", "https://a.test:443/", "about:blank",
                           "file:///tmp/x", "http://[::1]:8080/", "not an address"}) {
    EXPECT_FALSE(UsesBlockedPort(fine)) << fine;
  }
}

TEST(Zoom, StepsWalkTheLadderAndStopAtItsEnds) {
  EXPECT_DOUBLE_EQ(NextZoomLevel(1.0, 1), 1.1);
  EXPECT_DOUBLE_EQ(NextZoomLevel(1.0, -1), 0.9);
  EXPECT_DOUBLE_EQ(NextZoomLevel(1.2, 1), 1.25) << "between steps: the next step";
  EXPECT_DOUBLE_EQ(NextZoomLevel(1.2, -1), 1.1);
  EXPECT_DOUBLE_EQ(NextZoomLevel(3.0, 1), 3.0);
  EXPECT_DOUBLE_EQ(NextZoomLevel(0.3, -1), 0.3);
  EXPECT_TRUE(IsDefaultZoom(NextZoomLevel(NextZoomLevel(1.0, 1), -1)));
  EXPECT_EQ(ZoomText(1.25), "125%");
  EXPECT_EQ(ZoomText(0.67), "67%");
}

TEST(Address, PortalMatchesItsLoadedForms) {
  EXPECT_TRUE(IsSameAddress("www.portal.test", "www.portal.test"));
  EXPECT_TRUE(IsSameAddress("http://www.portal.test/", "www.portal.test"));
  EXPECT_FALSE(IsSameAddress("http://www.portal.test/news", "www.portal.test"));
  EXPECT_FALSE(IsSameAddress("", ""));
}

}  // namespace
}  // namespace nuve::core
