#pragma once
// Lines for the operator on standard error (the journal under systemd). No
// password, token, code or link is ever written here.

#include <string_view>

namespace nuve::server {

void LogInfo(std::string_view what);
void LogError(std::string_view what);

}  // namespace nuve::server
