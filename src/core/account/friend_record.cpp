#include "core/account/friend_record.h"

namespace nuve::core {

// A record that was never loaded reads like one loaded from an empty object.
FriendRecord::FriendRecord() : create_time_(TextToDateTime("")) {}

void FriendRecord::LoadFields(const std::string& json) {
  id_ = TextToInt32(ReadJsonMember(json, "id"));
  user_id_ = TextToInt32(ReadJsonMember(json, "userId"));
  create_time_ = TextToDateTime(ReadJsonMember(json, "createTime"));
  nicker_ = ReadJsonMember(json, "nicker");
  account_ = ReadJsonMember(json, "account");
  remark_ = ReadJsonMember(json, "remark");
  head_path_ = ReadJsonMember(json, "headPath");
}

std::string FriendRecord::HeadImage(const ReadUrlOptions& options) const {
  return FetchPicture(head_path_, options);
}

}  // namespace nuve::core
