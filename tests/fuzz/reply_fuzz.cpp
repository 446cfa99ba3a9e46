// Reads arbitrary account-service replies through every reply and record
// class, the way the windows read them (the picture accessors, which fetch
// an address, are left out). The first line of the input is a path into the
// reply's body, the rest the reply. What must hold on any reply: the body
// always reads as some text, lists give as many records as the reply has
// elements, and every date-time is either blank or a whole date.
//
// The same bytes also make a well-formed reply, as a JSON writer would write
// it (the first four bytes the code, the fifth how to escape, the rest the
// message and account): every member must read back exactly.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <glib.h>

#include "core/account/announcement.h"
#include "core/account/api_response.h"
#include "core/account/friend_group_record.h"
#include "core/account/friend_record.h"
#include "core/account/uploaded_image.h"
#include "core/account/user_info.h"
#include "core/account/record_reader.h"
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
  ReadProfile(RecordReader().MakeUserInfo(text));
}

void ReadLists(const std::string& text) {
  const RecordReader codec;
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
  const RecordReader codec;
  const UploadedImage image = codec.MakeUploadedImage(text);
  image.Hash();
  CheckDate(image.CreateTime());
  image.Id();
  image.Ossurl();
  image.ReferenceNum();
  codec.ParseUserContact(text);
  if (CodecUtil().GetContent(text).find('\\') != std::string::npos) std::abort();
  FriendRecord one;
  one.LoadFields(text);
  FriendGroupRecord group;
  group.LoadFields(text);
}

// `text` (UTF-8 without NUL) as a JSON string literal. With `escape_all`
// every character beyond ASCII is written as \u escapes, in surrogate pairs
// beyond the BMP.
std::string JsonString(std::string_view text, bool escape_all) {
  std::string out = "\"";
  char hex[16];
  for (const char* p = text.data(); p < text.data() + text.size(); p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      g_snprintf(hex, sizeof hex, "\\u%04x", c);
      out += hex;
    } else if (escape_all && c > 0xFFFF) {
      g_snprintf(hex, sizeof hex, "\\u%04X\\u%04X", 0xD800 + ((c - 0x10000) >> 10),
                 0xDC00 + ((c - 0x10000) & 0x3FF));
      out += hex;
    } else if (escape_all && c >= 0x80) {
      g_snprintf(hex, sizeof hex, "\\u%04x", c);
      out += hex;
    } else {
      out.append(p, static_cast<std::size_t>(g_utf8_next_char(p) - p));
    }
  }
  return out + "\"";
}

void ReadWellFormedReply(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return;
  std::int32_t code = 0;
  std::memcpy(&code, data, sizeof code);
  const bool result = (data[4] & 1) != 0;
  const std::string message(reinterpret_cast<const char*>(data) + 5, size - 5);
  if (message.find('\0') != std::string::npos ||
      !g_utf8_validate(message.data(), static_cast<gssize>(message.size()), nullptr)) {
    return;
  }
  const std::string literal = JsonString(message, (data[4] & 2) != 0);
  const ApiResponse reply("{\"code\":" + std::to_string(code) + ",\"result\":" +
                          (result ? "true" : "false") + ",\"message\":" + literal +
                          ",\"responseBody\":{\"id\":" + std::to_string(code) +
                          ",\"account\":" + literal + "}}");
  if (reply.Code() != code || reply.IsSuccess() != result || reply.Message() != message) {
    std::abort();
  }
  const UserInfo info = reply.ToUserInfo();
  if (info.Id() != code || info.Account() != message) std::abort();
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
  ReadWellFormedReply(data, size);
  return 0;
}
