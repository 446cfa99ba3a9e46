#pragma once
// Feedback, announcements and each user's own key-value data.

#include <variant>

#include "server/api/api_request.h"
#include "server/api/service_deps.h"
#include "server/api/session_auth.h"

namespace nuve::server {

class ContentApi {
 public:
  explicit ContentApi(const ServiceDeps& deps) : deps_(deps), auth_(deps) {}

  // token, title, content.
  ApiReply Feedback(const ApiRequest& request) const;
  // appKey -> the newest announcements first.
  ApiReply ListAnnouncements(const ApiRequest& request) const;
  // appKey[, id] -> one announcement, the newest without an id.
  ApiReply GetAnnouncement(const ApiRequest& request) const;
  // token, key -> the value, or null when none is stored.
  ApiReply GetUserData(const ApiRequest& request) const;
  // token, key, value.
  ApiReply SetUserData(const ApiRequest& request) const;

 private:
  // The user of the request's token when they may write; else the refusal.
  std::variant<User, ApiReply> WritingUser(const ApiRequest& request) const;

  const ServiceDeps& deps_;
  SessionAuth auth_;
};

}  // namespace nuve::server
