#include "core/app/window_title.h"

namespace nuve::core {

std::string WindowTitle(std::string_view page_title, std::string_view proxy_host, bool is_private) {
  std::string title(page_title);
  if (is_private) title += " - 无痕浏览";
  if (!proxy_host.empty()) {
    title += " - ";
    title += proxy_host;
  }
  title += " - NUVE浏览器M1";
  return title;
}

}  // namespace nuve::core
