#include "core/account/user_info.h"

namespace nuve::core {

void UserInfo::SetText(const std::string& text) { profile_ = text; }

std::string UserInfo::Account() const { return ReadJsonMember(profile_, "account"); }

std::string UserInfo::Email() const { return ReadJsonMember(profile_, "email"); }

std::string UserInfo::HeadImage(const ReadUrlOptions& options) const {
  return FetchPicture(HeadUrl(), options);
}

std::string UserInfo::HeadUrl() const { return ReadJsonMember(profile_, "headUrl"); }

std::int32_t UserInfo::Id() const { return TextToInt32(ReadJsonMember(profile_, "id")); }

std::string UserInfo::LoginAddress() const { return ReadJsonMember(profile_, "loginAddress"); }

DateTime UserInfo::LoginTime() const { return TextToDateTime(ReadJsonMember(profile_, "loginTime")); }

DateTime UserInfo::RegistTime() const {
  return TextToDateTime(ReadJsonMember(profile_, "registTime"));
}

bool UserInfo::IsAccountNormal() const {
  // The account service says "normal" or "banned"; a profile without that
  // member keeps the older rule.
  const std::string state = ReadJsonMember(profile_, "state");
  if (state == "normal") return true;
  if (state == "banned") return false;
  return ReadJsonMember(profile_, "registTime") != "0";
}

std::int32_t UserInfo::UserLoginCount() const {
  return TextToInt32(ReadJsonMember(profile_, "userLoginCount"));
}

}  // namespace nuve::core
