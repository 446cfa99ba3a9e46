#include "server/store/records.h"

namespace nuve::server {

const char* UserStateName(UserState state) { return state == UserState::kBanned ? "banned" : "normal"; }

std::optional<UserState> UserStateFromName(const std::string& name) {
  if (name == "normal") return UserState::kNormal;
  if (name == "banned") return UserState::kBanned;
  return std::nullopt;
}

}  // namespace nuve::server
