#pragma once
// One reply of the account service. The reply's JSON text is kept as it came
// and every accessor reads its member again from that text through the shared
// JSON document, so an object is cheap to copy and never goes stale.

#include <string>

namespace nuve::core {

class UserInfo;

class ApiResponse {
 public:
  ApiResponse() = default;
  explicit ApiResponse(std::string text) : text_(std::move(text)) {}
  virtual ~ApiResponse() = default;
  ApiResponse(const ApiResponse&) = default;
  ApiResponse& operator=(const ApiResponse&) = default;
  ApiResponse(ApiResponse&&) = default;
  ApiResponse& operator=(ApiResponse&&) = default;

  // Stores the reply text (a JSON object; "" for a failed request).
  virtual void SetText(const std::string& text);

  // Member "code" as a signed 32-bit integer; 0 when absent or not a number.
  int Code() const;
  // True only when member "result" reads exactly "true". "code" plays no part.
  bool IsSuccess() const;
  // The value at `path` inside ResponseBody(); "" when the path leads nowhere.
  std::string BodyField(const std::string& path) const;
  // Member "message"; "" when absent.
  std::string Message() const;
  // Member "responseBody". An empty payload ("null", "" or "{}") reads "{}",
  // so BodyField and ToUserInfo always work on an object text.
  std::string ResponseBody() const;
  // The same as ResponseBody().
  std::string BodyText() const;
  // A profile object loaded with ResponseBody(). Include core/account/user_info.h
  // to call it.
  UserInfo ToUserInfo() const;

  // The stored reply text, as given to SetText.
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace nuve::core
