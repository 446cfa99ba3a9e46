#include "server/api/reply_texts.h"

#include <algorithm>

namespace nuve::server::texts {

std::string TooManyFailures(std::int64_t wait_ms) {
  const std::int64_t minutes = std::max<std::int64_t>(1, (wait_ms + 59999) / 60000);
  return "密码错误次数过多，请" + std::to_string(minutes) + "分钟后再试";
}

std::string MailTooSoon(std::int64_t wait_seconds) {
  return "发送过于频繁，请" + std::to_string(std::max<std::int64_t>(1, wait_seconds)) + "秒后再试";
}

std::string MaskedEmail(const std::string& email) {
  const std::size_t at = email.find('@');
  return at == std::string::npos ? email : email.substr(0, 1) + "***" + email.substr(at);
}

std::string ResetMailSent(const std::string& email) { return "重置密码邮件已发送至 " + MaskedEmail(email) + "，请查收"; }

std::string EmailChangeMailSent(const std::string& email) {
  return "确认邮件已发送至 " + MaskedEmail(email) + "，请在30分钟内打开邮件中的链接完成修改";
}

}  // namespace nuve::server::texts
