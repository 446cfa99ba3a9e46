#include "server/mail/mail_texts.h"

namespace nuve::server {

MailMessage RegisterCodeMail(const std::string& to, const std::string& code) {
  return {to, "NUVE浏览器注册验证码",
          "您好！\n\n您正在注册NUVE浏览器账号，本次的验证码是：" + code +
              "\n\n验证码10分钟内有效，只能使用一次。如果这不是您本人的操作，请忽略本邮件。\n\nNUVE浏览器\n"};
}

MailMessage PasswordResetMail(const std::string& to, const std::string& account, const std::string& link) {
  return {to, "NUVE浏览器重置密码",
          "您好！\n\n有人为NUVE浏览器账号 " + account + " 申请了重置密码。请在30分钟内打开下面的链接设置新密码：\n\n" +
              link + "\n\n链接只能使用一次。如果这不是您本人的操作，请忽略本邮件，您的密码不会改变。\n\nNUVE浏览器\n"};
}

}  // namespace nuve::server
