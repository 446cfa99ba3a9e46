#pragma once
// Sends the service's mails (registration codes, reset links).

#include <string>

namespace nuve::server {

struct MailMessage {
  std::string to;       // one address, already checked
  std::string subject;  // UTF-8
  std::string text;     // UTF-8 plain text
};

class Mailer {
 public:
  virtual ~Mailer() = default;
  // True when the mail was handed over; false (and a log line without the
  // mail's text) when it could not be.
  virtual bool Send(const MailMessage& message) = 0;
  // Whether mails only go to the service's standard error (no SMTP server).
  virtual bool DevelopmentMode() const = 0;
};

}  // namespace nuve::server
