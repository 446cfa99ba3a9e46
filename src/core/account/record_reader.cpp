#include "core/account/record_reader.h"

#include "core/account/announcement.h"
#include "core/account/friend_group_record.h"
#include "core/account/friend_record.h"
#include "core/account/uploaded_image.h"
#include "core/account/user_info.h"
#include "core/util/codec_util.h"
#include "core/util/shared_json.h"

namespace nuve::core {
namespace {

template <typename Record, typename LoadFn>
int FillRecords(const std::string& json, std::vector<Record>& out, LoadFn load) {
  std::vector<std::string> elements;
  SharedJson().ListElements(json, true, elements);
  out.clear();
  out.resize(elements.size());
  for (std::size_t i = 0; i < elements.size(); ++i) load(out[i], elements[i]);
  return static_cast<int>(out.size());
}

}  // namespace

UserInfo RecordReader::MakeUserInfo(const std::string& json) const {
  UserInfo info;
  info.SetText(json);
  return info;
}

UploadedImage RecordReader::MakeUploadedImage(const std::string& json) const {
  UploadedImage image;
  image.SetText(json);
  return image;
}

int RecordReader::ParseAnnouncements(const std::string& json, std::vector<Announcement>& out) const {
  return FillRecords(json, out, [](Announcement& a, const std::string& t) { a.SetText(t); });
}

int RecordReader::ParseFriendGroups(const std::string& json,
                                    std::vector<FriendGroupRecord>& out) const {
  return FillRecords(json, out,
                     [](FriendGroupRecord& r, const std::string& t) { r.LoadFields(t); });
}

int RecordReader::ParseFriends(const std::string& json, std::vector<FriendRecord>& out) const {
  return FillRecords(json, out, [](FriendRecord& r, const std::string& t) { r.LoadFields(t); });
}

int RecordReader::ParseUserBriefs(const std::string& json, std::vector<UserBrief>& out) const {
  return FillRecords(json, out, [](UserBrief& b, const std::string& t) {
    b.account = ReadJsonMember(t, "account");
    b.name = ReadJsonMember(t, "name");
    b.id = TextToInt32(ReadJsonMember(t, "id"));
    b.headUrl = ReadJsonMember(t, "headUrl");
  });
}

UserContact RecordReader::ParseUserContact(const std::string& json) const {
  UserContact contact;
  contact.id = TextToInt32(ReadJsonMember(json, "id"));
  contact.loginAddress = ReadJsonMember(json, "loginAddress");
  contact.account = ReadJsonMember(json, "account");
  contact.name = ReadJsonMember(json, "name");
  contact.email = ReadJsonMember(json, "email");
  contact.phone = ReadJsonMember(json, "phone");
  return contact;
}

}  // namespace nuve::core
