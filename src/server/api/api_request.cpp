#include "server/api/api_request.h"

namespace nuve::server {

const std::string& ApiRequest::Field(std::string_view name) const {
  static const std::string kNone;
  const auto it = fields.find(name);
  return it == fields.end() ? kNone : it->second;
}

std::optional<std::string> ApiRequest::Optional(std::string_view name) const {
  const auto it = fields.find(name);
  if (it == fields.end()) return std::nullopt;
  return it->second;
}

std::string ApiRequest::Filename(std::string_view name) const {
  const auto it = filenames.find(name);
  return it == filenames.end() ? std::string() : it->second;
}

}  // namespace nuve::server
