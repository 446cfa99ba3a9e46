#include "core/account/account_texts.h"

namespace nuve::core {

std::string CountdownCaption(int seconds_left) {
  return std::string(kCodeButtonCaption) + "（" + std::to_string(seconds_left) + "）";
}

std::string CodeCountdown::Start() {
  running_ = true;
  left_ = kSeconds - 1;
  return CountdownCaption(left_);
}

std::string CodeCountdown::Tick() {
  if (!running_) return kCodeButtonCaption;
  if (left_ == 0) {
    running_ = false;
    return kCodeButtonCaption;
  }
  return CountdownCaption(--left_);
}

std::string FailureText(const ApiResponse& reply) {
  std::string message = reply.Message();
  return message.empty() ? kServiceUnreachable : message;
}

std::string RecoveryNotice(std::string_view contact) {
  std::string notice = "找回密码的邮件将发送到注册时填写的邮箱。\n忘记了注册邮箱？请联系管理员";
  if (!contact.empty()) notice += "（" + std::string(contact) + "）";
  return notice + "。";
}

ProfileTexts MakeProfileTexts(const UserInfo& user) {
  ProfileTexts texts;
  texts.id = "用户ID：" + std::to_string(user.Id());
  texts.account = "用户账号：" + user.Account();
  texts.email = "注册邮箱：" + user.Email();
  texts.regist_time = "注册日期：" + FormatDateTime(user.RegistTime());
  texts.login_time = "上次登录时间：" + FormatDateTime(user.LoginTime());
  texts.login_address = "上次登录地址：" + user.LoginAddress();
  return texts;
}

ColouredText AccountStatus(bool logged_in, bool account_normal) {
  if (!logged_in) return {"未登录", kBlue};
  if (account_normal) return {"已登录 状态正常", kGreen};
  return {"该号已被封停！", kRed};
}

}  // namespace nuve::core
