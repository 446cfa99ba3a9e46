#pragma once
// Mail through an SMTP server with libcurl: smtp:// (with STARTTLS when the
// server offers it, and required when a password is sent to another host) or
// smtps://, with optional authentication.

#include <string>

#include "server/mail/mailer.h"

namespace nuve::server {

struct SmtpSettings {
  std::string url;  // smtp://host[:port] or smtps://host[:port]
  std::string user;
  std::string password;
  std::string from;  // the sender's address
  long timeout_seconds = 30;
};

class SmtpMailer final : public Mailer {
 public:
  explicit SmtpMailer(SmtpSettings settings);
  bool Send(const MailMessage& message) override;
  bool DevelopmentMode() const override { return false; }

 private:
  SmtpSettings settings_;
};

}  // namespace nuve::server
