#include "server/api/envelope.h"

namespace nuve::server {
namespace {

ApiReply Envelope(ReplyCode code, bool result, const std::string& message, const nlohmann::json& payload,
                  int status) {
  nlohmann::ordered_json reply = {
      {"code", static_cast<int>(code)}, {"result", result}, {"message", message}, {"responseBody", payload}};
  // Texts are checked UTF-8 before they get here; replacing is the safe
  // answer should one slip through.
  return ApiReply{reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), status};
}

}  // namespace

ApiReply Succeed(const std::string& message, const nlohmann::json& payload) {
  return Envelope(ReplyCode::kOk, true, message, payload, 200);
}

ApiReply Refuse(ReplyCode code, const std::string& message, int status) {
  return Envelope(code, false, message, nullptr, status);
}

}  // namespace nuve::server
