#pragma once
// The mails users receive, in Chinese.

#include <string>

#include "server/mail/mailer.h"

namespace nuve::server {

MailMessage RegisterCodeMail(const std::string& to, const std::string& code);
MailMessage PasswordResetMail(const std::string& to, const std::string& account, const std::string& link);

}  // namespace nuve::server
