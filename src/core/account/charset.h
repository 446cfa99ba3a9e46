#pragma once
// Conversions between UTF-8, the program's own text, and GBK, the code page
// of replies and files written by the program's Windows version.

#include <string>
#include <string_view>

namespace nuve::core {

// GBK bytes converted to UTF-8. A byte sequence that is not GBK becomes
// U+FFFD and the conversion goes on after it.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 bytes converted to GBK. A character GBK cannot hold, or a byte that
// is not UTF-8, becomes "?" and the conversion goes on after it.
std::string Utf8ToGbk(std::string_view utf8);

// The text of a service reply as the program uses it: bytes that are valid
// UTF-8 stay as they are; anything else is taken as GBK and decoded, so no GBK
// byte ever reaches a window.
std::string DecodeReplyText(std::string_view bytes);

}  // namespace nuve::core
