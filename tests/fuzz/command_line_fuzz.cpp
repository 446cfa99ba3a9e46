// Parses arbitrary command lines. The input is the argument list, arguments
// separated by NUL bytes (an argument can never hold one). Besides not
// crashing, the request must be one of the documented shapes: help or
// version alone; a proxy only with a port from 1 to 65535, with the next
// argument (if any) as the first page; a plain address only when it begins
// with "http" or is a file: address; or a refusal with its reason.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/app/command_line.h"

using nuve::core::StartRequest;

namespace {

bool IsPortText(const std::string& text) {
  if (text.empty()) return false;
  if (!std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
    return false;
  }
  const std::size_t digits = text.find_first_not_of('0');
  if (digits == std::string::npos || text.size() - digits > 5) return false;
  const long port = std::strtol(text.c_str() + digits, nullptr, 10);
  return port >= 1 && port <= 65535;
}

// Whether `text` begins with the lower-case `prefix`, in any case.
bool BeginsWith(const std::string& text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char p, char t) { return std::tolower(static_cast<unsigned char>(t)) == p; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty() && args.size() < 16) {
    const std::size_t cut = rest.find('\0');
    args.emplace_back(rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  }

  const StartRequest request = nuve::core::ParseCommandLine(args);
  if (request.action == StartRequest::Action::kRefuse) {
    // Refused: a reason, and nothing to open.
    if (request.problem.empty() || !request.address.empty() || !request.proxy_host.empty()) std::abort();
    return 0;
  }
  if (!request.problem.empty()) std::abort();
  if (request.action != StartRequest::Action::kBrowse) {
    if (!request.address.empty() || !request.proxy_host.empty()) std::abort();
    return 0;
  }
  if (args.empty() && !request.address.empty()) std::abort();
  if (!request.proxy_host.empty()) {
    if (!IsPortText(request.proxy_port)) std::abort();
    for (const unsigned char c : request.proxy_host) {
      if (c < 0x21 || c == '/' || c == '@') std::abort();
    }
    // The argument after the proxy is the first page; without one the usual
    // first page opens through the proxy.
    if (args.size() >= 2 ? request.address != args[1] : !request.address.empty()) std::abort();
  } else {
    if (!request.proxy_port.empty()) std::abort();
    if (!args.empty() && !BeginsWith(request.address, "http") && !BeginsWith(request.address, "file:")) {
      std::abort();
    }
  }
  return 0;
}
