#pragma once
// The Internet-shortcut (.url) file of one favourite: what the program writes
// and how it finds the address in one that any program wrote.

#include <string>
#include <string_view>

namespace nuve::core {

// "[InternetShortcut]\r\nURL=" + address, with no line break at the end and
// no byte-order mark. A line break inside `address` would start a new line
// of the file; it becomes a blank.
std::string UrlFileContent(std::string_view address);

// The address of the first line whose key is "URL" (in any case): the rest of
// that line after "=", up to CR or LF, without surrounding blanks; GBK text
// (from the Windows version) is converted to UTF-8. "" when there is no such
// line or it holds nothing. With `truncated` (the file goes on beyond
// `bytes`), an address that runs to the end of `bytes` is incomplete and
// gives "" too.
std::string ParseUrlFileAddress(std::string_view bytes, bool truncated = false);

}  // namespace nuve::core
