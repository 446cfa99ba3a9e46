#pragma once
// The small page behind a password-reset link: GET /reset?t=TOKEN shows a
// form for the new password, POST /reset sets it. The form is safe against
// cross-site posts: it carries the link's secret token and a second random
// value that must equal a SameSite=Strict cookie set with the form. The link
// is checked before the new password is hashed. A successful reset uses the
// link up (and any older one), ends every session of the account and lifts
// the login throttle; a banned account cannot reset.

#include <string>

#include "server/api/api_request.h"
#include "server/api/service_deps.h"

namespace nuve::server {

struct PageReply {
  int status = 200;
  std::string html;
  std::string set_cookie;  // a Set-Cookie value, or ""
};

class ResetPage {
 public:
  explicit ResetPage(const ServiceDeps& deps) : deps_(deps) {}

  PageReply Show(const std::string& token) const;
  // The posted form (t, csrf, password, password2) and the request's Cookie
  // header.
  PageReply Submit(const ApiRequest& form, const std::string& cookie_header) const;

 private:
  PageReply Form(const std::string& token, const std::string& error) const;

  const ServiceDeps& deps_;
};

// The value of cookie `name` in a Cookie header; "" when absent.
std::string CookieValue(const std::string& cookie_header, const std::string& name);

}  // namespace nuve::server
