#pragma once
// A mail as it goes over SMTP: RFC 5322 headers (the subject encoded for
// UTF-8) and a base64 body.

#include <string>

#include "server/mail/mailer.h"

namespace nuve::server {

// `now` is seconds since the epoch; `from` is the sender's address.
std::string ComposeMail(const MailMessage& message, const std::string& from, long long now);

}  // namespace nuve::server
