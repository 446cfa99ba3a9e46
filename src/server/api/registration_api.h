#pragma once
// Registration, its code mail, and the password-reset mail.

#include "server/api/api_request.h"
#include "server/api/service_deps.h"

namespace nuve::server {

class RegistrationApi {
 public:
  explicit RegistrationApi(const ServiceDeps& deps) : deps_(deps) {}

  // Multipart: account, password, appKey, email, code, and optionally name,
  // phone and headImg (an image file).
  ApiReply Register(const ApiRequest& request) const;
  // email, appKey: mails a four-digit code valid for ten minutes.
  ApiReply SendRegisterCode(const ApiRequest& request) const;
  // account, appKey: mails a one-time link to the reset page.
  ApiReply SendPasswordReset(const ApiRequest& request) const;

 private:
  const ServiceDeps& deps_;
};

}  // namespace nuve::server
