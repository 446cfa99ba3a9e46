#include "core/app/error_page.h"

#include <gio/gio.h>

#include "core/util/html_text.h"

namespace nuve::core {
namespace {

std::string Named(std::string_view host) { return host.empty() ? std::string("服务器") : "服务器 " + std::string(host); }

}  // namespace

std::string LoadProblemText(LoadProblem problem, std::string_view host, std::string_view detail) {
  switch (problem) {
    case LoadProblem::kHostNotFound:
      return "找不到" + Named(host) + "，请检查网址是否正确。";
    case LoadProblem::kRefused:
      return Named(host) + " 拒绝了连接。";
    case LoadProblem::kTimedOut:
      return Named(host) + " 长时间没有响应。";
    case LoadProblem::kBlockedPort:
      return "此网址使用的端口不安全，浏览器已阻止访问。";
    case LoadProblem::kUnsupportedScheme:
      return "浏览器无法打开这种网址。";
    case LoadProblem::kCrashed:
      return "显示此网页的进程意外退出了。";
    case LoadProblem::kOutOfMemory:
      return "此网页占用的内存过多，已被关闭。";
    case LoadProblem::kOther:
      break;
  }
  std::string text = "加载此网页时出错";
  if (!detail.empty()) text += "（" + std::string(detail) + "）";
  return text + "。";
}

std::string TlsProblemText(unsigned flags) {
  struct Bit {
    unsigned bit;
    const char* text;
  };
  static constexpr Bit kBits[] = {
      {G_TLS_CERTIFICATE_UNKNOWN_CA, "此网站的证书不是由受信任的机构颁发的。"},
      {G_TLS_CERTIFICATE_BAD_IDENTITY, "此网站的证书与网站的名称不符。"},
      {G_TLS_CERTIFICATE_NOT_ACTIVATED, "此网站的证书尚未生效。"},
      {G_TLS_CERTIFICATE_EXPIRED, "此网站的证书已过期。"},
      {G_TLS_CERTIFICATE_REVOKED, "此网站的证书已被吊销。"},
      {G_TLS_CERTIFICATE_INSECURE, "此网站的证书使用了不安全的算法。"},
  };
  std::string text;
  for (const Bit& b : kBits) {
    if ((flags & b.bit) != 0) text += b.text;
  }
  if (text.empty()) text = "此网站的证书有问题。";
  return text + "有人可能正试图冒充此网站，窃取您的信息。";
}

std::string ErrorPageHtml(std::string_view title, std::string_view message, std::string_view address,
                          std::string_view hint) {
  return "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
         "</title></head><body style=\"font-family:sans-serif;margin:3em;max-width:42em\"><h1>" + HtmlEscape(title) +
         "</h1><p>" + HtmlEscape(message) + "</p><p style=\"color:#555;word-break:break-all\">" + HtmlEscape(address) +
         "</p><p>" + HtmlEscape(hint) + "</p></body></html>";
}

std::string HostOf(std::string_view address) {
  GUri* uri = g_uri_parse(std::string(address).c_str(), G_URI_FLAGS_NONE, nullptr);
  if (uri == nullptr) return {};
  const char* host = g_uri_get_host(uri);
  std::string result = host != nullptr ? host : "";
  g_uri_unref(uri);
  return result;
}

}  // namespace nuve::core
