#include "server/api/profile_json.h"

namespace nuve::server {

std::string ImageUrl(const std::string& public_url, const std::string& hash) {
  return hash.empty() ? std::string() : public_url + "/img/" + hash;
}

nlohmann::json OwnProfile(const User& user, const std::string& public_url) {
  return {{"id", user.id},
          {"account", user.account},
          {"email", user.email},
          {"name", user.name},
          {"phone", user.phone},
          {"headUrl", ImageUrl(public_url, user.head_hash)},
          {"registTime", user.regist_time},
          {"loginTime", user.login_time},
          {"loginAddress", user.login_address},
          {"userLoginCount", user.login_count},
          {"state", UserStateName(user.state)}};
}

nlohmann::json PublicProfile(const User& user, const std::string& public_url) {
  return {{"id", user.id},
          {"account", user.account},
          {"name", user.name},
          {"headUrl", ImageUrl(public_url, user.head_hash)},
          {"registTime", user.regist_time},
          {"state", UserStateName(user.state)}};
}

nlohmann::json ImageJson(const ImageRecord& image, const std::string& public_url) {
  return {{"id", image.id},
          {"hash", image.hash},
          {"createTime", image.create_time},
          {"ossurl", ImageUrl(public_url, image.hash)},
          {"referenceNum", image.reference_num}};
}

nlohmann::json AnnouncementJson(const Announcement& a) {
  return {{"id", a.id}, {"title", a.title}, {"content", a.content}, {"pushTime", a.push_time}};
}

}  // namespace nuve::server
