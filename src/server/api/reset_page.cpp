#include "server/api/reset_page.h"

#include "server/api/input_rules.h"
#include "server/api/reply_texts.h"
#include "server/api/session_auth.h"
#include "server/security/login_throttle.h"
#include "server/security/secret_token.h"
#include "server/server_log.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

constexpr char kCsrfCookie[] = "nuve_reset_csrf";

std::string Escape(const std::string& text) {
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

std::string Page(const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<title>重置密码 - NUVE浏览器</title><style>"
         "body{font-family:sans-serif;background:#f4f6f8;margin:0}"
         "main{max-width:22em;margin:4em auto;background:#fff;padding:2em;border-radius:8px;"
         "box-shadow:0 1px 4px rgba(0,0,0,.15)}"
         "h1{font-size:1.3em;margin-top:0}label{display:block;margin:1em 0 .3em}"
         "input[type=password]{width:100%;box-sizing:border-box;padding:.5em;font-size:1em}"
         "button{margin-top:1.5em;width:100%;padding:.6em;font-size:1em}"
         ".error{color:#c00}</style></head><body><main>" +
         body + "</main></body></html>\n";
}

PageReply Message(int status, const std::string& title, const std::string& text) {
  return {status, Page("<h1>" + Escape(title) + "</h1><p>" + Escape(text) + "</p>"), ""};
}

PageReply LinkGone() {
  return Message(410, "链接已失效", "此重置密码链接无效、已使用或已过期，请在NUVE浏览器中重新申请找回密码。");
}

}  // namespace

std::string CookieValue(const std::string& cookie_header, const std::string& name) {
  std::size_t pos = 0;
  while (pos < cookie_header.size()) {
    while (pos < cookie_header.size() && (cookie_header[pos] == ' ' || cookie_header[pos] == ';')) ++pos;
    const std::size_t end = std::min(cookie_header.find(';', pos), cookie_header.size());
    const std::string pair = cookie_header.substr(pos, end - pos);
    const std::size_t eq = pair.find('=');
    if (eq != std::string::npos && pair.substr(0, eq) == name) return pair.substr(eq + 1);
    pos = end + 1;
  }
  return {};
}

PageReply ResetPage::Form(const std::string& token, const std::string& error) const {
  const std::string csrf = NewSecretToken();
  std::string body = "<h1>重置NUVE浏览器账号密码</h1>";
  if (!error.empty()) body += "<p class=\"error\">" + Escape(error) + "</p>";
  body += "<form method=\"post\" action=\"/reset\">"
          "<input type=\"hidden\" name=\"t\" value=\"" + Escape(token) + "\">"
          "<input type=\"hidden\" name=\"csrf\" value=\"" + csrf + "\">"
          "<label for=\"p1\">新密码（6到16个字符）</label>"
          "<input id=\"p1\" type=\"password\" name=\"password\" minlength=\"6\" maxlength=\"16\" required "
          "autocomplete=\"new-password\">"
          "<label for=\"p2\">确认新密码</label>"
          "<input id=\"p2\" type=\"password\" name=\"password2\" minlength=\"6\" maxlength=\"16\" required "
          "autocomplete=\"new-password\">"
          "<button type=\"submit\">设置新密码</button></form>";
  std::string cookie = std::string(kCsrfCookie) + "=" + csrf + "; Path=/reset; HttpOnly; SameSite=Strict";
  if (deps_.config.public_url.starts_with("https://")) cookie += "; Secure";
  return {error.empty() ? 200 : 400, Page(body), cookie};
}

PageReply ResetPage::Show(const std::string& token) const {
  try {
    if (!IsTokenShaped(token)) return LinkGone();
    const std::string digest = TokenDigest(token);
    const std::int64_t now = deps_.clock.NowMs();
    if (!deps_.store.Read([&](Tx& tx) { return tx.ResetTokenUser(digest, now); })) return LinkGone();
    return Form(token, "");
  } catch (const StoreError& e) {
    LogError(std::string("reset page: ") + e.what());
    return Message(503, "暂时无法重置密码", texts::kUnavailable);
  }
}

PageReply ResetPage::Submit(const ApiRequest& form, const std::string& cookie_header) const {
  const std::string& token = form.Field("t");
  if (!IsTokenShaped(token)) return LinkGone();
  if (!SameSecret(form.Field("csrf"), CookieValue(cookie_header, kCsrfCookie))) {
    return Form(token, "页面已过期，请重新输入新密码。");
  }
  const std::string& password = form.Field("password");
  if (!IsAcceptablePassword(password)) return Form(token, texts::kBadPassword);
  if (password != form.Field("password2")) return Form(token, "两次输入的密码不一致。");
  try {
    const auto hash = deps_.hasher.Hash(password);
    if (!hash) return Message(503, "暂时无法重置密码", texts::kBusy);
    const std::string digest = TokenDigest(token);
    const std::int64_t now = deps_.clock.NowMs();
    const bool done = deps_.store.Write([&](Tx& tx) {
      const auto user_id = tx.TakeResetToken(digest, now);
      if (!user_id) return false;
      const auto user = tx.FindUserById(*user_id);
      if (!user) return false;
      tx.SetPasswordHash(*user_id, *hash);
      tx.DeleteSessionsOf(*user_id);
      LoginThrottle::Clear(tx, user->account);
      return true;
    });
    if (!done) return LinkGone();
    return Message(200, "密码已重置", "新密码已生效，请在NUVE浏览器中用新密码登录。");
  } catch (const StoreError& e) {
    LogError(std::string("reset page: ") + e.what());
    return Message(503, "暂时无法重置密码", texts::kUnavailable);
  }
}

}  // namespace nuve::server
