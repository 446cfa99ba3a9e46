#pragma once
// Development mode: every mail is written whole (recipient, subject, text
// with its code or link) to a stream, standard error in the service.

#include <mutex>
#include <ostream>

#include "server/mail/mailer.h"

namespace nuve::server {

class ConsoleMailer final : public Mailer {
 public:
  explicit ConsoleMailer(std::ostream& out) : out_(out) {}
  bool Send(const MailMessage& message) override;
  bool DevelopmentMode() const override { return true; }

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

}  // namespace nuve::server
