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

MailMessage EmailChangeMail(const std::string& to, const std::string& account, const std::string& link) {
  return {to, "NUVE浏览器确认新邮箱",
          "您好！\n\nNUVE浏览器账号 " + account + " 申请把绑定邮箱改为本邮箱。请在30分钟内打开下面的链接确认：\n\n" +
              link + "\n\n链接只能使用一次。如果这不是您本人的操作，请忽略本邮件。\n\nNUVE浏览器\n"};
}

MailMessage EmailChangeNotice(const std::string& to, const std::string& account, const std::string& new_masked) {
  return {to, "NUVE浏览器邮箱修改提醒",
          "您好！\n\n有人用正确的密码为NUVE浏览器账号 " + account + " 申请把绑定邮箱改为 " + new_masked +
              "。新邮箱确认后，找回密码的邮件将发往新邮箱。\n\n如果这不是您本人的操作，您的密码可能已泄露：请立即修改密码"
              "（修改后其他设备上的登录会结束），在新邮箱确认之前，本邮箱仍然有效。\n\nNUVE浏览器\n"};
}

}  // namespace nuve::server
