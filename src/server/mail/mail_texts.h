#pragma once
// The mails users receive, in Chinese.

#include <string>

#include "server/mail/mailer.h"

namespace nuve::server {

MailMessage RegisterCodeMail(const std::string& to, const std::string& code);
MailMessage PasswordResetMail(const std::string& to, const std::string& account, const std::string& link);
// To the new address: the link that completes an e-mail change.
MailMessage EmailChangeMail(const std::string& to, const std::string& account, const std::string& link);
// To the old address: someone who knew the password asked for the change.
MailMessage EmailChangeNotice(const std::string& to, const std::string& account, const std::string& new_masked);

}  // namespace nuve::server
