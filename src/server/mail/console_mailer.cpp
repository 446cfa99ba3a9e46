#include "server/mail/console_mailer.h"

namespace nuve::server {

bool ConsoleMailer::Send(const MailMessage& message) {
  std::lock_guard lock(mutex_);
  out_ << "---- mail (development mode, not sent) ----\n"
       << "To: " << message.to << "\n"
       << "Subject: " << message.subject << "\n\n"
       << message.text << (message.text.ends_with('\n') ? "" : "\n") << "---- end of mail ----" << std::endl;
  return static_cast<bool>(out_);
}

}  // namespace nuve::server
