#include "core/account/validation.h"

#include <glib.h>

#include <algorithm>

namespace nuve::core {

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const gunichar c = g_utf8_get_char_validated(p, end - p);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      ++p;  // not a character: one byte, counted alone
    } else {
      p = g_utf8_next_char(p);
    }
    ++count;
  }
  return count;
}

bool IsDigits(std::string_view text, std::size_t min, std::size_t max) {
  return text.size() >= min && text.size() <= max &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> CheckRegisterForm(const RegisterForm& form) {
  if (!IsDigits(form.account, 8, 10)) return "请输入8~10位纯数字帐号！";
  if (form.email.empty()) return "请填写邮箱地址！";
  if (!IsDigits(form.code, 4, 4)) return "请输入四位数字验证码！";
  const std::size_t length = CharacterCount(form.password);
  if (length < 6 || length > 16) return "请输入6~16位密码！";
  if (form.confirmation != form.password) return "两次输入的密码不一致！";
  return std::nullopt;
}

std::optional<std::string> CheckCodeMailAddress(std::string_view email) {
  if (email.empty()) return "请填写接收验证码的邮箱地址！";
  return std::nullopt;
}

std::optional<std::string> CheckPasswordChange(std::string_view account, std::string_view old_password,
                                               std::string_view new_password) {
  if (account.empty()) return "请输入需要修改密码的帐号！";
  if (old_password.empty()) return "请输入旧密码！";
  if (new_password.empty()) return "请输入新密码，长度在6~16位！";
  return std::nullopt;
}

std::optional<std::string> CheckFeedback(std::string_view content) {
  if (content.empty()) return "请输入反馈内容！";
  return std::nullopt;
}

std::optional<std::string> CheckAvatarImage(std::string_view bytes) {
  const bool png = bytes.starts_with("\x89PNG\r\n\x1a\n");
  const bool jpeg = bytes.starts_with("\xff\xd8\xff");
  const bool gif = bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a");
  if (!png && !jpeg && !gif) return "请选择PNG、JPEG或GIF格式的图片！";
  if (bytes.size() > kMaxAvatarBytes) return "头像图片不能超过2MB！";
  return std::nullopt;
}

}  // namespace nuve::core
