#include "core/app/error_page.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

namespace nuve::core {
namespace {

TEST(ErrorPage, SaysWhatWentWrongWithTheAddressAskedFor) {
  EXPECT_EQ(LoadProblemText(LoadProblem::kHostNotFound, "nowhere.test"), "找不到服务器 nowhere.test，请检查网址是否正确。");
  EXPECT_EQ(LoadProblemText(LoadProblem::kRefused, ""), "服务器 拒绝了连接。");
  EXPECT_EQ(LoadProblemText(LoadProblem::kOther, "h", "boom"), "加载此网页时出错（boom）。");
  const std::string html = ErrorPageHtml(kErrorPageTitle, "<b>x</b>", "http://a.test/?q=<script>", "刷新");
  EXPECT_NE(html.find("<title>无法显示此网页</title>"), std::string::npos);
  EXPECT_EQ(html.find("<script>"), std::string::npos) << "the address is escaped";
  EXPECT_NE(html.find("&lt;b&gt;x&lt;/b&gt;"), std::string::npos);
  EXPECT_EQ(HostOf("https://user@Example.test:8443/x"), "Example.test");
  EXPECT_EQ(HostOf("not an address"), "");
}

TEST(ErrorPage, ExplainsEachCertificateProblem) {
  const std::string self_signed = TlsProblemText(G_TLS_CERTIFICATE_UNKNOWN_CA | G_TLS_CERTIFICATE_BAD_IDENTITY);
  EXPECT_EQ(self_signed.rfind("此网站的证书不是由受信任的机构颁发的。此网站的证书与网站的名称不符。", 0), 0u) << self_signed;
  EXPECT_NE(TlsProblemText(G_TLS_CERTIFICATE_EXPIRED).find("已过期"), std::string::npos);
  EXPECT_EQ(TlsProblemText(0).rfind("此网站的证书有问题。", 0), 0u);
}

}  // namespace
}  // namespace nuve::core
