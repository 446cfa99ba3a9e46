#include "core/app/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include <glib.h>

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

StartRequest Refused(std::string problem) {
  StartRequest request;
  request.action = StartRequest::Action::kRefuse;
  request.problem = std::move(problem);
  return request;
}

// A file: address, or the path of an existing local file as a file: address;
// "" for anything else.
std::string LocalFileAddress(const std::string& text) {
  if (text.size() >= 5 && g_ascii_strncasecmp(text.c_str(), "file:", 5) == 0) return text;
  if (text.empty() || !g_file_test(text.c_str(), G_FILE_TEST_IS_REGULAR)) return {};
  gchar* absolute = g_canonicalize_filename(text.c_str(), nullptr);
  gchar* uri = g_filename_to_uri(absolute, nullptr, nullptr);
  std::string result = uri != nullptr ? uri : "";
  g_free(uri);
  g_free(absolute);
  return result;
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
  if (std::string file = LocalFileAddress(first); !file.empty()) {
    request.address = std::move(file);
    return request;
  }
  const auto colon = first.find(':');
  if (colon == std::string::npos) {
    return Refused("'" + first + "' is neither an address beginning with http nor a proxy host:port");
  }
  std::string host = first.substr(0, colon);
  std::string port = first.substr(colon + 1);
  if (!IsHost(host) || !IsPort(port)) {
    return Refused("'" + first + "' is not a proxy host:port with a port from 1 to 65535");
  }
  request.proxy_host = std::move(host);
  request.proxy_port = std::move(port);
  // Without an address the usual first page opens, through the proxy.
  if (args.size() >= 2) request.address = args[1];
  return request;
}

std::string UsageText() {
  return "Usage: nuve [ADDRESS | FILE]\n"
         "       nuve PROXY-HOST:PORT [ADDRESS]\n"
         "\n"
         "Opens ADDRESS (beginning with http) or a local FILE in the first tab. With a\n"
         "proxy, every page is fetched through PROXY-HOST:PORT. Any other argument is\n"
         "refused with exit code 2.\n"
         "\n"
         "  --help      show this text\n"
         "  --version   show the version\n";
}

}  // namespace nuve::core
