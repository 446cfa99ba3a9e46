// Reads arbitrary account-service replies through every reply and record
// class, the way the windows read them (the picture accessors, which fetch
// an address, are left out). The first line of the input is a path into the
// reply's body, the rest the reply. What must hold on any reply: the body
// always reads as some text, lists give as many records as the reply has
// elements, and every date-time is either blank or a whole date.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/account/announcement.h"
#include "core/account/api_response.h"
#include "core/account/friend_group_record.h"
#include "core/account/friend_record.h"
#include "core/account/uploaded_image.h"
#include "core/account/user_info.h"
#include "core/util/codec_util.h"
#include "core/util/shared_json.h"

using namespace nuve::core;

namespace {

void CheckDate(DateTime value) {
  const std::string text = FormatDateTime(value);
  if (!text.empty() && text.size() != 19) std::abort();
}

void ReadProfile(const UserInfo& info) {
  info.Account();
  info.Email();
  info.HeadUrl();
  info.Id();
  info.LoginAddress();
  CheckDate(info.LoginTime());
  CheckDate(info.RegistTime());
  info.IsAccountNormal();
  info.UserLoginCount();
}

void ReadReply(const std::string& text, const std::string& path) {
  const ApiResponse reply(text);
  reply.Code();
  reply.IsSuccess();
  reply.Message();
  if (reply.ResponseBody().empty() || reply.BodyText() != reply.ResponseBody()) std::abort();
  reply.BodyField(path);
  const UserInfo info = reply.ToUserInfo();
  if (info.ProfileText() != reply.ResponseBody() || !info.Text().empty()) std::abort();
  ReadProfile(info);
  ReadProfile(CodecUtil().MakeUserInfo(text));
}

void ReadLists(const std::string& text) {
  const CodecUtil codec;
  std::vector<std::string> elements;
  const std::size_t count = SharedJson().ListElements(text, true, elements);

  std::vector<Announcement> announcements;
  if (codec.ParseAnnouncements(text, announcements) != static_cast<int>(count)) std::abort();
  for (const Announcement& a : announcements) {
    a.Title();
    a.Id();
    CheckDate(a.PushTime());
  }
  std::vector<FriendRecord> friends;
  if (codec.ParseFriends(text, friends) != static_cast<int>(count)) std::abort();
  for (const FriendRecord& f : friends) CheckDate(f.CreateTime());
  std::vector<FriendGroupRecord> groups;
  if (codec.ParseFriendGroups(text, groups) != static_cast<int>(count)) std::abort();
  std::vector<UserBrief> briefs;
  if (codec.ParseUserBriefs(text, briefs) != static_cast<int>(count)) std::abort();
}

void ReadRecords(const std::string& text) {
  const CodecUtil codec;
  const UploadedImage image = codec.MakeUploadedImage(text);
  image.Hash();
  CheckDate(image.CreateTime());
  image.Id();
  image.Ossurl();
  image.ReferenceNum();
  codec.ParseUserContact(text);
  if (codec.GetContent(text).find('\\') != std::string::npos) std::abort();
  FriendRecord one;
  one.LoadFields(text);
  FriendGroupRecord group;
  group.LoadFields(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string path(input.substr(0, newline));
  const std::string text(newline == std::string_view::npos ? input : input.substr(newline + 1));
  ReadReply(text, path);
  ReadLists(text);
  ReadRecords(text);
  return 0;
}
