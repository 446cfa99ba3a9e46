#include "core/account/announcement.h"

namespace nuve::core {

std::string Announcement::Title() const { return ReadJsonMember(text_, "title"); }

std::int32_t Announcement::Id() const { return TextToInt32(ReadJsonMember(text_, "id")); }

DateTime Announcement::PushTime() const { return TextToDateTime(ReadJsonMember(text_, "pushTime")); }

}  // namespace nuve::core
