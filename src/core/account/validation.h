#pragma once
// The checks the account windows make before anything goes to the service.
// Each gives the message the window shows for the first field that fails,
// or nothing when the request may go. Lengths count characters, not bytes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nuve::core {

inline constexpr std::size_t kMaxAvatarBytes = 2 * 1024 * 1024;
inline constexpr std::size_t kMaxFeedbackCharacters = 200;

// Characters of UTF-8 text; a byte that starts no valid character counts as one.
std::size_t CharacterCount(std::string_view text);
// True when `text` is `min` to `max` ASCII digits.
bool IsDigits(std::string_view text, std::size_t min, std::size_t max);

// The register window's fields, as typed.
struct RegisterForm {
  std::string name;
  std::string account;
  std::string email;
  std::string code;
  std::string password;
  std::string confirmation;
  std::string phone;
};

// Account of 8 to 10 digits, an e-mail, a code of 4 digits, a password of 6
// to 16 characters and its confirmation, in that order.
std::optional<std::string> CheckRegisterForm(const RegisterForm& form);
// "获取验证码": only an empty address is refused.
std::optional<std::string> CheckCodeMailAddress(std::string_view email);
// "修改密码": the account, the old and the new password must not be empty.
// The new password's length is the service's to judge.
std::optional<std::string> CheckPasswordChange(std::string_view account, std::string_view old_password,
                                               std::string_view new_password);
// "发送": the feedback must not be empty.
std::optional<std::string> CheckFeedback(std::string_view content);
// An avatar: a PNG, JPEG or GIF by its first bytes, of at most 2 MiB.
std::optional<std::string> CheckAvatarImage(std::string_view bytes);

}  // namespace nuve::core
