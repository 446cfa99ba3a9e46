#pragma once
// Text put into the pages NUVE writes itself (error pages, a page's source,
// exported bookmarks): the characters HTML gives a meaning are escaped.

#include <string>
#include <string_view>

namespace nuve::core {

// `text` with & < > " and ' as character references, safe in element text
// and in quoted attribute values. Bytes that are not UTF-8 become U+FFFD.
std::string HtmlEscape(std::string_view text);

}  // namespace nuve::core
