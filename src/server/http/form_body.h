#pragma once
// application/x-www-form-urlencoded bodies: name=value pairs joined by "&",
// "+" for a blank and %XX for any byte. The first of a repeated name counts;
// a pair without "=" has the empty value.

#include <map>
#include <string>
#include <string_view>

namespace nuve::server {

void ParseFormBody(std::string_view body, std::map<std::string, std::string, std::less<>>& fields);

}  // namespace nuve::server
