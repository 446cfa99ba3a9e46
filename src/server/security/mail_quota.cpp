#include "server/security/mail_quota.h"

#include "server/security/security_policy.h"

namespace nuve::server {

std::string MailboxKey(std::string_view address) {
  std::string key(address);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

MailReservation MailQuota::Reserve(Tx& tx, std::string_view kind, std::string_view address_as_given,
                                   std::string_view client, std::int64_t now) {
  const std::string address = MailboxKey(address_as_given);
  const MailCounts counts = tx.CountMails(kind, address, client, now - kDayMs);
  MailReservation r;
  if (counts.last_to_address > 0 && now - counts.last_to_address < kMailIntervalMs) {
    r.outcome = MailReservation::Outcome::kTooSoon;
    r.wait_seconds = (counts.last_to_address + kMailIntervalMs - now + kSecondMs - 1) / kSecondMs;
    return r;
  }
  if (counts.today_to_address >= kMailsPerAddressPerDay || counts.today_from_client >= kMailsPerClientPerDay) {
    r.outcome = MailReservation::Outcome::kDailyCapReached;
    return r;
  }
  r.record_id = tx.InsertMailRecord(kind, address, client, now);
  return r;
}

void MailQuota::Release(Tx& tx, std::int64_t record_id) { tx.DeleteMailRecord(record_id); }

}  // namespace nuve::server
