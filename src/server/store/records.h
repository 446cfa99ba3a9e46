#pragma once
// The rows the service keeps, as plain values. Times are Unix milliseconds.

#include <cstdint>
#include <optional>
#include <string>

namespace nuve::server {

enum class UserState { kNormal, kBanned };

// "normal" or "banned", the words the profile and the database use.
const char* UserStateName(UserState state);
std::optional<UserState> UserStateFromName(const std::string& name);

struct User {
  std::int64_t id = 0;
  std::string account;
  std::string email;
  std::string password_hash;
  std::string name;
  std::string phone;
  std::string head_hash;  // MD5 of the avatar image; "" = none
  std::int64_t regist_time = 0;
  std::int64_t login_time = 0;
  std::string login_address;
  std::int64_t login_count = 0;
  UserState state = UserState::kNormal;
};

struct NewUser {
  std::string account;
  std::string email;
  std::string password_hash;
  std::string name;
  std::string phone;
  std::string head_hash;
  std::int64_t regist_time = 0;
};

// The profile fields an update may change; an unset field stays as it is.
struct ProfileChange {
  std::optional<std::string> name;
  std::optional<std::string> email;
  std::optional<std::string> phone;
  std::optional<std::string> head_hash;
};

struct ImageRecord {
  std::int64_t id = 0;
  std::string hash;  // lower-case hex MD5 of the bytes
  std::string mime;
  std::int64_t create_time = 0;
  std::int64_t reference_num = 0;
};

struct ImageContent {
  std::string mime;
  std::string bytes;
};

struct Announcement {
  std::int64_t id = 0;
  std::string title;
  std::string content;
  std::int64_t push_time = 0;
};

struct FeedbackEntry {
  std::int64_t id = 0;
  std::string account;
  std::string title;
  std::string content;
  std::int64_t create_time = 0;
};

// A login session as stored.
struct SessionSeen {
  std::int64_t user_id = 0;
  std::int64_t last_seen = 0;
};

// An e-mail change that waits for its confirmation link.
struct EmailChange {
  std::int64_t user_id = 0;
  std::string new_email;
};

// What the mail log says about one address and one client address.
struct MailCounts {
  std::int64_t last_to_address = 0;  // 0 = none within the day
  std::int64_t today_to_address = 0;
  std::int64_t today_from_client = 0;
};

}  // namespace nuve::server
