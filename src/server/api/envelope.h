#pragma once
// The reply every endpoint gives: {"code", "result", "message",
// "responseBody"}. "code" 0 with "result" true is success; the other codes
// say what kind of refusal it is.

#include <nlohmann/json.hpp>
#include <string>

#include "server/api/api_request.h"

namespace nuve::server {

enum class ReplyCode {
  kOk = 0,
  kRefused = 1,        // the input or the request is not acceptable
  kNotLoggedIn = 2,    // no valid login token
  kThrottled = 3,      // too many tries or mails; try later
  kBanned = 4,         // the account is banned
  kServiceError = 5,   // the database or mail failed; nothing was changed
  kConflict = 6,       // the favourites changed since the revision named; fetch and merge again
};

ApiReply Succeed(const std::string& message, const nlohmann::json& payload = nullptr);
ApiReply Refuse(ReplyCode code, const std::string& message, int status = 200);

}  // namespace nuve::server
