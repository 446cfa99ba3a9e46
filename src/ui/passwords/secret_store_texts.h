#pragma once
// What the user reads when the secret store could not do what was asked.

#include <string>

#include "core/passwords/site_password_store.h"

namespace nuve::ui {

// Why the keyring refused, after `what` ("密码未保存", "无法显示密码"…).
inline std::string SecretStoreProblemText(const std::string& what, core::SecretStoreProblem problem) {
  switch (problem) {
    case core::SecretStoreProblem::kLocked:
      return what + "：系统密钥环已锁定，且未被解锁。";
    case core::SecretStoreProblem::kUnavailable:
      return what + "：无法连接系统密钥环（Secret Service）。";
    default:
      return what + "：系统密钥环未能完成操作。";
  }
}

// Shown where saving would be offered when there is no secret store.
inline constexpr char kNoSecretStoreText[] =
    "未找到系统密钥环（Secret Service，例如 GNOME 密钥环或 KWallet），NUVE 不会保存网站密码。"
    "NUVE 从不把网站密码写入自己的文件。";

}  // namespace nuve::ui
