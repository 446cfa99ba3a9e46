#include "server/api/email_change_page.h"

#include "server/api/page_html.h"
#include "server/api/reply_texts.h"
#include "server/api/session_auth.h"
#include "server/security/secret_token.h"
#include "server/server_log.h"
#include "server/store/store_error.h"

namespace nuve::server {
namespace {

constexpr char kTitle[] = "确认新邮箱";

PageReply Message(int status, const std::string& heading, const std::string& text) {
  return MessagePage(status, kTitle, heading, text);
}

PageReply LinkGone() {
  return Message(410, "链接已失效", "此确认链接无效、已使用或已过期。如仍需修改邮箱，请重新申请。");
}

}  // namespace

PageReply EmailChangePage::Show(const std::string& token) const {
  try {
    if (!IsTokenShaped(token)) return LinkGone();
    const std::int64_t now = deps_.clock.NowMs();
    const auto change = deps_.store.Read([&](Tx& tx) { return tx.FindEmailChange(TokenDigest(token), now); });
    if (!change) return LinkGone();
    const std::string body =
        "<h1>确认修改NUVE浏览器账号邮箱</h1><p>确认后，账号的绑定邮箱将改为 " + HtmlEscape(change->new_email) +
        "，找回密码的邮件也将发往这里。</p><form method=\"post\" action=\"/email\">"
        "<input type=\"hidden\" name=\"t\" value=\"" + HtmlEscape(token) + "\">"
        "<button type=\"submit\">确认修改</button></form>";
    return {200, PageHtml(kTitle, body), ""};
  } catch (const StoreError& e) {
    LogError(std::string("e-mail page: ") + e.what());
    return Message(503, "暂时无法确认", texts::kUnavailable);
  }
}

PageReply EmailChangePage::Confirm(const ApiRequest& form) const {
  const std::string& token = form.Field("t");
  if (!IsTokenShaped(token)) return LinkGone();
  try {
    const std::string digest = TokenDigest(token);
    const std::int64_t now = deps_.clock.NowMs();
    enum class Outcome { kDone, kGone, kBanned };
    const Outcome outcome = deps_.store.Write([&](Tx& tx) {
      const auto change = tx.TakeEmailChange(digest, now);
      if (!change) return Outcome::kGone;
      const auto user = tx.FindUserById(change->user_id);
      if (!user) return Outcome::kGone;
      if (user->state == UserState::kBanned) return Outcome::kBanned;
      ProfileChange update;
      update.email = change->new_email;
      tx.UpdateProfile(user->id, update);
      tx.DeleteEmailChangesOf(user->id);
      return Outcome::kDone;
    });
    if (outcome == Outcome::kGone) return LinkGone();
    if (outcome == Outcome::kBanned) return Message(403, "无法修改邮箱", texts::kBanned);
    return Message(200, "邮箱已修改", "新邮箱已生效，以后找回密码的邮件将发往这里。");
  } catch (const StoreError& e) {
    LogError(std::string("e-mail page: ") + e.what());
    return Message(503, "暂时无法确认", texts::kUnavailable);
  }
}

}  // namespace nuve::server
