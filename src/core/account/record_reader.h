#pragma once
// Readers that turn the account service's JSON into records: a profile, an
// uploaded picture, and lists of announcements, friend groups, friends and
// user briefs. They live beside the records they fill; the class keeps no
// state and its objects are interchangeable.

#include <cstdint>
#include <string>
#include <vector>

namespace nuve::core {

class Announcement;
class FriendGroupRecord;
class FriendRecord;
class UploadedImage;
class UserInfo;

struct UserBrief {
  std::int32_t id = 0;
  std::string headUrl;
  std::string account;
  std::string name;
};

struct UserContact {
  std::int32_t id = 0;
  std::string account;
  std::string name;
  std::string email;
  std::string phone;
  std::string loginAddress;
};

class RecordReader {
 public:
  // A profile object that has read `json` (a profile object text).
  UserInfo MakeUserInfo(const std::string& json) const;
  UploadedImage MakeUploadedImage(const std::string& json) const;
  // One record per element of the JSON array `json`; `out` is replaced and
  // the count returned. Anything but an array gives none.
  int ParseAnnouncements(const std::string& json, std::vector<Announcement>& out) const;
  int ParseFriendGroups(const std::string& json, std::vector<FriendGroupRecord>& out) const;
  int ParseFriends(const std::string& json, std::vector<FriendRecord>& out) const;
  int ParseUserBriefs(const std::string& json, std::vector<UserBrief>& out) const;
  UserContact ParseUserContact(const std::string& json) const;
};

}  // namespace nuve::core
