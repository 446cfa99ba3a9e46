#pragma once
// How often the service mails one address, and how much one client may make
// it mail: one mail per address per minute, and a daily cap per address and
// per client address. A mail is counted when it is reserved; a mail that
// could not be sent gives its place back. Addresses count without regard to
// letter case: A@Example.com and a@example.com are one mailbox.

#include <cstdint>
#include <string>
#include <string_view>

#include "server/store/tx.h"

namespace nuve::server {

struct MailReservation {
  enum class Outcome { kReserved, kTooSoon, kDailyCapReached };
  Outcome outcome = Outcome::kReserved;
  std::int64_t record_id = 0;     // kReserved: what Release gives back
  std::int64_t wait_seconds = 0;  // kTooSoon: until the next mail may go
};

class MailQuota {
 public:
  // `kind` ("code", "reset" or "email"): the minute between two mails to one address
  // counts per kind, so a reset link is not held up by a code just sent.
  static MailReservation Reserve(Tx& tx, std::string_view kind, std::string_view address, std::string_view client,
                                 std::int64_t now);
  static void Release(Tx& tx, std::int64_t record_id);
};

// The address in lower case (ASCII letters only: mail addresses here are
// ASCII), the form the mail log and the registration codes keep.
std::string MailboxKey(std::string_view address);

}  // namespace nuve::server
