#pragma once
// One friend group. Unlike the reply classes it reads its members once, in
// LoadFields, and keeps typed fields.

#include <cstdint>
#include <string>

namespace nuve::core {

class FriendGroupRecord {
 public:
  // Reads "id", "friendGroupName", "rank" and "enable" from one JSON object
  // and overwrites all four fields (absent members give 0, "" and false).
  void LoadFields(const std::string& json);

  std::int32_t Id() const { return id_; }
  const std::string& FriendGroupName() const { return friend_group_name_; }
  std::int32_t Rank() const { return rank_; }
  bool Enable() const { return enable_; }

 private:
  std::int32_t id_ = 0;
  std::string friend_group_name_;
  std::int32_t rank_ = 0;
  bool enable_ = false;
};

}  // namespace nuve::core
