#include "server/mail/smtp_mailer.h"

#include <curl/curl.h>

#include <algorithm>
#include <ctime>
#include <memory>

#include "server/mail/mail_message.h"
#include "server/server_log.h"

namespace nuve::server {
namespace {

struct Upload {
  std::string data;
  std::size_t sent = 0;
};

size_t ReadCb(char* buffer, size_t size, size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  const std::size_t n = std::min(size * count, upload->data.size() - upload->sent);
  upload->data.copy(buffer, n, upload->sent);
  upload->sent += n;
  return n;
}

bool IsLoopbackUrl(const std::string& url) {
  const std::size_t host = url.find("://");
  if (host == std::string::npos) return false;
  const std::string rest = url.substr(host + 3);
  return rest.starts_with("127.") || rest.starts_with("localhost") || rest.starts_with("[::1]");
}

// The address without any user and password written into it, for the log.
std::string UrlForLog(const std::string& url) {
  const std::size_t scheme = url.find("://");
  const std::size_t at = url.find('@');
  if (scheme == std::string::npos || at == std::string::npos || at < scheme) return url;
  return url.substr(0, scheme + 3) + url.substr(at + 1);
}

}  // namespace

SmtpMailer::SmtpMailer(SmtpSettings settings) : settings_(std::move(settings)) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

bool SmtpMailer::Send(const MailMessage& message) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) return false;
  Upload upload{ComposeMail(message, settings_.from, static_cast<long long>(std::time(nullptr)))};
  const std::string from = "<" + settings_.from + ">";
  const std::string to = "<" + message.to + ">";
  curl_slist* recipients = curl_slist_append(nullptr, to.c_str());
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, settings_.url.c_str());
  curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients);
  curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadCb);
  curl_easy_setopt(h, CURLOPT_READDATA, &upload);
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, settings_.timeout_seconds);
  if (!settings_.user.empty()) {
    curl_easy_setopt(h, CURLOPT_USERNAME, settings_.user.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, settings_.password.c_str());
  }
  // A password never crosses the network in clear text; a loopback relay
  // may go without TLS.
  const bool must_encrypt = !settings_.user.empty() && !IsLoopbackUrl(settings_.url);
  curl_easy_setopt(h, CURLOPT_USE_SSL, must_encrypt ? static_cast<long>(CURLUSESSL_ALL)
                                                    : static_cast<long>(CURLUSESSL_TRY));
  const CURLcode rc = curl_easy_perform(h);
  curl_slist_free_all(recipients);
  if (rc != CURLE_OK) {
    LogError("mail: cannot send through " + UrlForLog(settings_.url) + ": " + curl_easy_strerror(rc));
    return false;
  }
  return true;
}

}  // namespace nuve::server
