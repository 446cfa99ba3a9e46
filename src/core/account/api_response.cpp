#include "core/account/api_response.h"

#include "core/account/user_info.h"
#include "core/util/codec_util.h"

namespace nuve::core {

void ApiResponse::SetText(const std::string& text) { text_ = text; }

int ApiResponse::Code() const { return TextToInt32(ReadJsonMember(text_, "code")); }

bool ApiResponse::IsSuccess() const { return TextToFlag(ReadJsonMember(text_, "result")); }

std::string ApiResponse::BodyField(const std::string& path) const {
  return ReadJsonMember(ResponseBody(), path);
}

std::string ApiResponse::Message() const { return ReadJsonMember(text_, "message"); }

std::string ApiResponse::ResponseBody() const {
  std::string body = ReadJsonMember(text_, "responseBody");
  if (body.empty() || body == "null" || body == "{}") return "{}";
  return body;
}

std::string ApiResponse::BodyText() const { return ResponseBody(); }

UserInfo ApiResponse::ToUserInfo() const {
  UserInfo info;
  info.SetText(ResponseBody());
  return info;
}

}  // namespace nuve::core
