#include "server/api/page_html.h"

namespace nuve::server {

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string PageHtml(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<title>" + HtmlEscape(title) + " - NUVE浏览器</title><style>"
         "body{font-family:sans-serif;background:#f4f6f8;margin:0}"
         "main{max-width:22em;margin:4em auto;background:#fff;padding:2em;border-radius:8px;"
         "box-shadow:0 1px 4px rgba(0,0,0,.15)}"
         "h1{font-size:1.3em;margin-top:0}label{display:block;margin:1em 0 .3em}"
         "input[type=password]{width:100%;box-sizing:border-box;padding:.5em;font-size:1em}"
         "button{margin-top:1.5em;width:100%;padding:.6em;font-size:1em}"
         ".error{color:#c00}</style></head><body><main>" +
         body + "</main></body></html>\n";
}

PageReply MessagePage(int status, const std::string& title, const std::string& heading, const std::string& text) {
  return {status, PageHtml(title, "<h1>" + HtmlEscape(heading) + "</h1><p>" + HtmlEscape(text) + "</p>"), ""};
}

}  // namespace nuve::server
