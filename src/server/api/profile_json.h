#pragma once
// The JSON objects the endpoints hand out about users and images.

#include <nlohmann/json.hpp>
#include <string>

#include "server/store/records.h"

namespace nuve::server {

// Where an image is served: public_url + "/img/" + hash ("" for no image).
std::string ImageUrl(const std::string& public_url, const std::string& hash);
// The logged-in user's own profile.
nlohmann::json OwnProfile(const User& user, const std::string& public_url);
// What anyone logged in may see of another user: no e-mail, phone or
// address.
nlohmann::json PublicProfile(const User& user, const std::string& public_url);
nlohmann::json ImageJson(const ImageRecord& image, const std::string& public_url);
nlohmann::json AnnouncementJson(const Announcement& announcement);

}  // namespace nuve::server
