#pragma once
// Login, keep-alive, the profile, the password and e-mail changes and other
// users' public profiles.

#include "server/api/api_request.h"
#include "server/api/password_gate.h"
#include "server/api/service_deps.h"
#include "server/api/session_auth.h"

namespace nuve::server {

class SessionApi {
 public:
  explicit SessionApi(const ServiceDeps& deps) : deps_(deps), auth_(deps), gate_(deps) {}

  // account, password, appKey, loginKey -> the token in "responseBody".
  ApiReply Login(const ApiRequest& request) const;
  // token -> renews the session.
  ApiReply KeepAlive(const ApiRequest& request) const;
  // token -> the own profile.
  ApiReply Info(const ApiRequest& request) const;
  // account, appKey, oldPwd, newPwd[, token]: ends every session of the
  // account but the one of `token`, when it is the account's.
  ApiReply ChangePassword(const ApiRequest& request) const;
  // token, password, email: mails a link to the new address that makes the
  // change, and a notice to the old one.
  ApiReply ChangeEmail(const ApiRequest& request) const;
  // token, uid -> another user's public profile.
  ApiReply UserInfoById(const ApiRequest& request) const;

 private:
  const ServiceDeps& deps_;
  SessionAuth auth_;
  PasswordGate gate_;
};

}  // namespace nuve::server
