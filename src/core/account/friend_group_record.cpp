#include "core/account/friend_group_record.h"

#include "core/util/codec_util.h"

namespace nuve::core {

void FriendGroupRecord::LoadFields(const std::string& json) {
  id_ = TextToInt32(ReadJsonMember(json, "id"));
  friend_group_name_ = ReadJsonMember(json, "friendGroupName");
  rank_ = TextToInt32(ReadJsonMember(json, "rank"));
  enable_ = TextToFlag(ReadJsonMember(json, "enable"));
}

}  // namespace nuve::core
