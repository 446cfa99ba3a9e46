#include "server/api/reset_page.h"

#include "server/api/input_rules.h"
#include "server/api/page_html.h"
#include "server/api/reply_texts.h"
#include "server/api/session_auth.h"
#include "server/security/login_throttle.h"
#include "server/security/secret_token.h"
#include "server/server_log.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

constexpr char kCsrfCookie[] = "nuve_reset_csrf";

std::string Escape(const std::string& text) { return HtmlEscape(text); }

std::string Page(const std::string& body) { return PageHtml("重置密码", body); }

PageReply Message(int status, const std::string& title, const std::string& text) {
  return MessagePage(status, "重置密码", title, text);
}

PageReply LinkGone() {
  return Message(410, "链接已失效", "此重置密码链接无效、已使用或已过期，请在NUVE浏览器中重新申请找回密码。");
}

PageReply Banned() { return Message(403, "无法重置密码", texts::kBanned); }

// Whose link it is: nullopt when it is no link (any more); the account may
// be banned.
std::optional<User> LinkOwner(const ServiceDeps& deps, const std::string& digest) {
  const std::int64_t now = deps.clock.NowMs();
  return deps.store.Read([&](Tx& tx) -> std::optional<User> {
    const auto user_id = tx.ResetTokenUser(digest, now);
    if (!user_id) return std::nullopt;
    return tx.FindUserById(*user_id);
  });
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
    const auto owner = LinkOwner(deps_, TokenDigest(token));
    if (!owner) return LinkGone();
    if (owner->state == UserState::kBanned) return Banned();
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
    // The link is checked before anything is hashed: a made-up or used link
    // costs no hash.
    const std::string digest = TokenDigest(token);
    const auto owner = LinkOwner(deps_, digest);
    if (!owner) return LinkGone();
    if (owner->state == UserState::kBanned) return Banned();
    const auto hash = deps_.hasher.Hash(password);
    if (!hash) return Message(503, "暂时无法重置密码", texts::kBusy);
    const std::int64_t now = deps_.clock.NowMs();
    enum class Outcome { kDone, kGone, kBanned };
    const Outcome outcome = deps_.store.Write([&](Tx& tx) {
      const auto user_id = tx.TakeResetToken(digest, now);
      if (!user_id) return Outcome::kGone;
      const auto user = tx.FindUserById(*user_id);
      if (!user) return Outcome::kGone;
      if (user->state == UserState::kBanned) return Outcome::kBanned;
      tx.SetPasswordHash(*user_id, *hash);
      // Whoever knew the old password, or holds an older link or a pending
      // change of address, is shut out.
      tx.DeleteSessionsOf(*user_id);
      tx.DeleteResetTokensOf(*user_id);
      tx.DeleteEmailChangesOf(*user_id);
      // The favourites' key was wrapped with the old password: what the
      // service keeps of them can no longer be opened.
      tx.MarkSyncKeyReset(*user_id);
      LoginThrottle::Clear(tx, user->account);
      return Outcome::kDone;
    });
    if (outcome == Outcome::kGone) return LinkGone();
    if (outcome == Outcome::kBanned) return Banned();
    return Message(200, "密码已重置", "新密码已生效，请在NUVE浏览器中用新密码登录。");
  } catch (const StoreError& e) {
    LogError(std::string("reset page: ") + e.what());
    return Message(503, "暂时无法重置密码", texts::kUnavailable);
  }
}

}  // namespace nuve::server
