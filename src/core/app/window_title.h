#pragma once

#include <string>
#include <string_view>

namespace nuve::core {

// The title of the main window before any page reports one.
inline constexpr char kProgramTitle[] = "NUVE浏览器M1   beta M1.3.00";
// The version label this build carries.
inline constexpr char kVersionLabel[] = "beta M1.3.00";

// The main window's title for a page title: "T - NUVE浏览器M1", or with a
// proxy "T - host - NUVE浏览器M1"; a private window's says so:
// "T - 无痕浏览 - NUVE浏览器M1" (the proxy host after it).
std::string WindowTitle(std::string_view page_title, std::string_view proxy_host, bool is_private = false);

}  // namespace nuve::core
