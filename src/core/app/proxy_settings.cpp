#include "core/app/proxy_settings.h"

namespace nuve::core {

std::string ProxyAddress(std::string_view host, std::string_view port) {
  return std::string(host) + ":" + std::string(port);
}

std::string ProxyListText(std::string_view host, std::string_view port) {
  const std::string p = ProxyAddress(host, port);
  return "ftp= " + p + ";http= " + p + ";https= " + p + ";socks= " + p;
}

std::string ProxyUri(std::string_view host, std::string_view port) {
  return "http://" + ProxyAddress(host, port);
}

}  // namespace nuve::core
