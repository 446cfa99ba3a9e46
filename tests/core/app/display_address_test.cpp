// Addresses as people read them, and back to the address they name.
#include "core/app/display_address.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/app/address.h"

namespace nuve::core {
namespace {

const std::string kTyped = "https://www.baidu.com/s?wd=rust%20ownership%20%E6%89%80%E6%9C%89%E6%9D%83";

// `host` in punycode, as the engine reports it.
std::string Ascii(const char* host) {
  std::unique_ptr<gchar, decltype(&g_free)> ascii(g_hostname_to_ascii(host), &g_free);
  EXPECT_NE(ascii, nullptr) << host;
  return ascii ? ascii.get() : "";
}

TEST(DisplayAddress, DecodesWordsAndHostNames) {
  EXPECT_EQ(DisplayAddress(kTyped), "https://www.baidu.com/s?wd=rust ownership 所有权");
  EXPECT_EQ(DisplayAddress("http://xn--fiq228c.example/"), "http://中文.example/");
  EXPECT_EQ(DisplayAddress("http://user@xn--fiq228c.example:8080/%E8%B7%AF%E5%BE%84?q=%E4%B8%AD#%E7%89%87"),
            "http://user@中文.example:8080/路径?q=中#片");
  EXPECT_EQ(DisplayAddress("file:///home/%E7%94%A8%E6%88%B7/a%20b.html"), "file:///home/用户/a b.html");
  EXPECT_EQ(DisplayAddress("http://a.example/%e6%89%80"), "http://a.example/所") << "lower-case escapes too";
  EXPECT_EQ(DisplayAddress("http://[::1]:8080/%E6%89%80"), "http://[::1]:8080/所");
  EXPECT_EQ(DisplayAddress("http://127.0.0.1:8080/title/A"), "http://127.0.0.1:8080/title/A");
}

TEST(DisplayAddress, KeepsWhatWouldMisleadOrChangeTheAddressEncoded) {
  const std::string base = "http://a.example/";
  struct Case {
    const char* escaped;
    const char* shown;
  };
  const Case cases[] = {
      {"a%2Fb%3Fc%23d%25e%26f%2Bg%3D", "a%2Fb%3Fc%23d%25e%26f%2Bg%3D"},  // ASCII other than the blank
      {"a%41%2d", "a%41%2d"},                                            // even unreserved ones, as written
      {"a%00b%0Ac%7F", "a%00b%0Ac%7F"},                                  // control characters
      {"x%20%20", "x%20%20"},                                            // blanks at the end
      {"x%20y%20", "x y%20"},
      {"%E2%80%AEgpj.exe", "%E2%80%AEgpj.exe"},            // right-to-left override
      {"a%E2%80%8Bb%EF%BB%BF", "a%E2%80%8Bb%EF%BB%BF"},    // zero-width space, BOM
      {"a%C2%A0b%E3%80%80c", "a%C2%A0b%E3%80%80c"},        // no-break and ideographic spaces
      {"a%C2%85b%E2%80%A8c", "a%C2%85b%E2%80%A8c"},        // C1 control, line separator
      {"%F0%9F%94%92secure", "%F0%9F%94%92secure"},        // a padlock
      {"a%E3%85%A4b", "a%E3%85%A4b"},                      // Hangul filler
      {"%EE%80%80%F4%8F%BF%BF", "%EE%80%80%F4%8F%BF%BF"},  // private use, noncharacter
      // Invalid UTF-8: cut short, a stray byte, an overlong form, a surrogate.
      {"%E6%89", "%E6%89"},
      {"%E6%89%80%FF%E6%89%80", "所%FF所"},
      {"%C0%AF", "%C0%AF"},
      {"%ED%A0%80", "%ED%A0%80"},
      {"%E6%89%80%E6", "所%E6"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DisplayAddress(base + c.escaped), base + c.shown) << c.escaped;
  }
}

TEST(DisplayAddress, LeavesOtherAddressesAndTextAsTheyAre) {
  for (const char* text : {"", "about:blank", "nuve://start", "data:text/html,%E6%89%80",
                           "javascript:alert(%22%E6%89%80%22)", "nuve 浏览器", "xn--fiq228c.example/%E6%89%80",
                           "http://a.example/%zz%E6%89%80", "blob:http://a.example/%E6%89%80"}) {
    EXPECT_EQ(DisplayAddress(text), text);
  }
  const std::string invalid = "http://a.example/\xE6\x89%E6%89%80";
  EXPECT_EQ(DisplayAddress(invalid), invalid);
}

TEST(DisplayHost, ShowsOrdinaryScriptsAndKeepsLookAlikesInPunycode) {
  EXPECT_EQ(DisplayHost("xn--fiq228c.example"), "中文.example");
  for (const char* readable : {"中文abc.example", "日本語ひらがなカタカナ.jp", "ㄅㄆ中文.tw", "한국어中文.kr",
                               "пример.com", "аррӏе.рф", "bücher-2.de", "ελληνικά.gr", "例え.テスト"}) {
    EXPECT_EQ(DisplayHost(Ascii(readable)), readable);
  }
  for (const char* look_alike : {"аpple.com",                    // Cyrillic а, Latin pple
                                 "pаypal.example", "αpple.com",  // Greek alpha
                                 "аррӏе.com",                    // all Cyrillic, every letter a Latin look-alike
                                 "한국어ひらがな.example", "a⁄b.example", "中文.аpple.com", "examp1е.com"}) {
    const std::string ascii = Ascii(look_alike);
    EXPECT_EQ(DisplayHost(ascii), ascii) << look_alike;
  }
  EXPECT_EQ(DisplayHost("xn--zz.example"), "xn--zz.example") << "invalid punycode";
  // Punycode no browser writes (an upper-case Ä, an unnormalised a + ¨) would
  // not turn back into the same host.
  EXPECT_EQ(DisplayHost("xn--4ca.example"), "ä.example");
  EXPECT_EQ(DisplayHost("xn--7ba.example"), "xn--7ba.example");
  EXPECT_EQ(DisplayHost("xn--a-ccb.example"), "xn--a-ccb.example");
  EXPECT_EQ(DisplayHost("XN--FIQ228C.Example"), "中文.example");
  EXPECT_EQ(DisplayHost("xn--fiq228c.\xE6\x89"), "xn--fiq228c.\xE6\x89") << "not UTF-8";
  EXPECT_EQ(DisplayHost("www.example.com"), "www.example.com");
  EXPECT_EQ(DisplayAddress("http://" + Ascii("аpple.com") + "/%E6%89%80"), "http://" + Ascii("аpple.com") + "/所");
}

TEST(AddressFromDisplay, ShownAndEditedAddressesLoadThePageTheyName) {
  const std::string query = "https://www.baidu.com/s?wd=%s";
  for (const std::string& address :
       {kTyped, std::string("http://xn--fiq228c.example:8080/%E8%B7%AF%E5%BE%84?q=%E4%B8%AD#%E7%89%87"),
        std::string("file:///home/%E7%94%A8%E6%88%B7/a%20b.html"), std::string("http://a.example/x%20y%20%20"),
        std::string("http://a.example/%2F%25%E2%80%AE%E6%89%80")}) {
    const std::string shown = DisplayAddress(address);
    EXPECT_EQ(AddressFromDisplay(shown), address) << shown;
    // What the go button makes of it: the address, never a search for its words.
    EXPECT_EQ(AddressForTyped(AddressFromDisplay(shown), query), address) << shown;
  }
  EXPECT_EQ(AddressFromDisplay("  https://www.baidu.com/s?wd=rust ownership 所有权 2 "), kTyped + "%202");
  EXPECT_EQ(AddressFromDisplay("http://中文.example/路径"), "http://xn--fiq228c.example/%E8%B7%AF%E5%BE%84");
  const std::string stray = AddressFromDisplay("http://a.example/50% off");
  EXPECT_EQ(stray, "http://a.example/50%%20off") << "a stray % is kept, the blank encoded";
  // Words, bare hosts and addresses that need nothing are for the address rules.
  for (const char* text : {"nuve 浏览器", "中文.example/路径", "http://a.example/%E6%89%80", "about:blank", "",
                           "http://\xCE", "http://uF%\xCA#", "https://www`bai\xE5u?st\xFF"}) {
    EXPECT_EQ(AddressFromDisplay(text), text);
  }
}

}  // namespace
}  // namespace nuve::core
