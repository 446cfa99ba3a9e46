#pragma once
// The small HTML pages behind the links the service mails.

#include <string>

#include "server/api/reset_page.h"

namespace nuve::server {

// `text` with &, <, >, " and ' escaped for HTML.
std::string HtmlEscape(const std::string& text);
// A whole page: `title` names it in the browser's tab, `body` is its HTML.
std::string PageHtml(const std::string& title, const std::string& body);
// A page with a heading and one paragraph of text.
PageReply MessagePage(int status, const std::string& title, const std::string& heading, const std::string& text);

}  // namespace nuve::server
