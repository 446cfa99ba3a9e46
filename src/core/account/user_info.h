#pragma once
// The logged-in user's profile. SetText stores the profile object (the
// "responseBody" of the info reply); the inherited reply accessors keep
// reading the inherited reply text, which SetText here leaves alone.

#include <cstdint>
#include <string>

#include "core/account/api_response.h"
#include "core/util/codec_util.h"

namespace nuve::core {

class UserInfo : public ApiResponse {
 public:
  UserInfo() = default;

  // Stores the profile text instead of the reply text.
  void SetText(const std::string& text) override;
  const std::string& ProfileText() const { return profile_; }

  std::string Account() const;
  std::string Email() const;
  // The picture behind "headUrl"; fetched anew at every call through the
  // proxy of `options` (blocks up to 15 s: call it off the UI thread; "" on
  // any failure). HeadUrl() gives the address itself.
  std::string HeadImage(const ReadUrlOptions& options = {}) const;
  std::string HeadUrl() const;
  std::int32_t Id() const;
  std::string LoginAddress() const;
  DateTime LoginTime() const;
  DateTime RegistTime() const;
  // "state" decides when it reads "normal" (true) or "banned" (false);
  // otherwise false only when "registTime" reads exactly "0" (an absent
  // member gives true).
  bool IsAccountNormal() const;
  std::int32_t UserLoginCount() const;

 private:
  std::string profile_;
};

}  // namespace nuve::core
