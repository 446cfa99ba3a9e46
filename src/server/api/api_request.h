#pragma once
// One request to an endpoint, as its handler sees it: the fields of a form
// or multipart body by name (the first of a repeated name counts) and the
// client's address.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace nuve::server {

struct ApiRequest {
  std::string client_address;
  std::map<std::string, std::string, std::less<>> fields;
  // The file name of each multipart part that had one.
  std::map<std::string, std::string, std::less<>> filenames;

  bool Has(std::string_view name) const { return fields.find(name) != fields.end(); }
  // The field's value; "" when it was not sent.
  const std::string& Field(std::string_view name) const;
  std::optional<std::string> Optional(std::string_view name) const;
  std::string Filename(std::string_view name) const;
};

// What a handler answers: the envelope's JSON text.
struct ApiReply {
  std::string body;
  int status = 200;
};

}  // namespace nuve::server
