#include "core/app/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace nuve::core {
namespace {

bool StartsWithHttp(const std::string& text) {
  if (text.size() < 4) return false;
  return std::equal(text.begin(), text.begin() + 4, "http", [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

bool IsPort(const std::string& text) {
  int port = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  return ec == std::errc() && end == text.data() + text.size() && port >= 1 && port <= 65535 &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool IsHost(const std::string& text) {
  return !text.empty() && std::none_of(text.begin(), text.end(), [](unsigned char c) {
    return std::isspace(c) || c == '/' || c == '@' || c < 0x20;
  });
}

StartRequest Malformed(std::string problem) {
  StartRequest request;
  request.problem = std::move(problem);
  return request;
}

}  // namespace

StartRequest ParseCommandLine(const std::vector<std::string>& args) {
  StartRequest request;
  if (args.empty()) return request;
  const std::string& first = args[0];
  if (first == "--help" || first == "-h") {
    request.action = StartRequest::Action::kHelp;
    return request;
  }
  if (first == "--version") {
    request.action = StartRequest::Action::kVersion;
    return request;
  }
  if (StartsWithHttp(first)) {
    request.address = first;
    return request;
  }
  const auto colon = first.find(':');
  if (colon == std::string::npos) {
    return Malformed("'" + first + "' is neither an address beginning with http nor a proxy host:port");
  }
  std::string host = first.substr(0, colon);
  std::string port = first.substr(colon + 1);
  if (!IsHost(host) || !IsPort(port)) {
    return Malformed("'" + first + "' is not a proxy host:port with a port from 1 to 65535");
  }
  if (args.size() < 2 || args[1].empty()) {
    return Malformed("the proxy " + first + " must be followed by the address to open");
  }
  request.proxy_host = std::move(host);
  request.proxy_port = std::move(port);
  request.address = args[1];
  return request;
}

std::string UsageText() {
  return "Usage: nuve [ADDRESS]\n"
         "       nuve PROXY-HOST:PORT ADDRESS\n"
         "\n"
         "Opens ADDRESS (beginning with http) in the first tab. With a proxy, every\n"
         "page is fetched through PROXY-HOST:PORT.\n"
         "\n"
         "  --help      show this text\n"
         "  --version   show the version\n";
}

}  // namespace nuve::core
