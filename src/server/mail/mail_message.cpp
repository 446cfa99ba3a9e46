#include "server/mail/mail_message.h"

#include <sodium.h>

#include <ctime>

namespace nuve::server {
namespace {

std::string Base64(const std::string& bytes) {
  std::string out(sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  out.pop_back();  // the terminating NUL
  return out;
}

// Base64 in lines of 76 characters, as mail bodies want.
std::string WrappedBase64(const std::string& bytes) {
  const std::string flat = Base64(bytes);
  std::string out;
  for (std::size_t i = 0; i < flat.size(); i += 76) out += flat.substr(i, 76) + "\r\n";
  return out;
}

std::string RfcDate(long long now) {
  const std::time_t t = static_cast<std::time_t>(now);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S +0000", &tm);
  return buf;
}

std::string MessageId(const std::string& from) {
  unsigned char id[12];
  randombytes_buf(id, sizeof id);
  char hex[sizeof id * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, id, sizeof id);
  const std::size_t at = from.find('@');
  return "<" + std::string(hex) + (at == std::string::npos ? "@nuve-account-server" : from.substr(at)) + ">";
}

}  // namespace

std::string ComposeMail(const MailMessage& message, const std::string& from, long long now) {
  std::string mail;
  mail += "Date: " + RfcDate(now) + "\r\n";
  mail += "From: " + from + "\r\n";
  mail += "To: " + message.to + "\r\n";
  mail += "Subject: =?UTF-8?B?" + Base64(message.subject) + "?=\r\n";
  mail += "Message-ID: " + MessageId(from) + "\r\n";
  mail += "MIME-Version: 1.0\r\n";
  mail += "Content-Type: text/plain; charset=UTF-8\r\n";
  mail += "Content-Transfer-Encoding: base64\r\n";
  mail += "\r\n";
  mail += WrappedBase64(message.text);
  return mail;
}

}  // namespace nuve::server
