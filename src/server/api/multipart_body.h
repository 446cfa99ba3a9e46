#pragma once
// multipart/form-data bodies (RFC 7578 on RFC 2046): a preamble before the
// first delimiter and an epilogue after the last are allowed, as the
// browser's image upload sends one. A body whose closing delimiter is
// missing (cut short) is refused whole.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nuve::server {

struct MultipartPart {
  std::string name;
  std::optional<std::string> filename;  // set for file parts
  std::string content;
};

// The boundary parameter of a Content-Type value ("" when it has none or it
// is not a valid boundary).
std::string MultipartBoundary(std::string_view content_type);

// The parts of `body`, or nullopt when it is malformed or has more than
// `max_parts` parts.
std::optional<std::vector<MultipartPart>> ParseMultipartBody(std::string_view body, std::string_view boundary,
                                                             std::size_t max_parts = 32);

}  // namespace nuve::server
