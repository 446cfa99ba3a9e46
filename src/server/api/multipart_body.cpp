#include "server/api/multipart_body.h"

#include <algorithm>
#include <cctype>

namespace nuve::server {
namespace {

constexpr std::size_t kMaxBoundary = 70;
constexpr std::size_t kMaxPartHeaders = 8 * 1024;

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

// The value of parameter `key` in a header such as
// `form-data; name="a"; filename="b"`: quoted (with \" escapes) or a token.
std::optional<std::string> HeaderParameter(std::string_view header, std::string_view key) {
  std::size_t pos = header.find(';');
  while (pos != std::string_view::npos) {
    std::size_t start = pos + 1;
    while (start < header.size() && (header[start] == ' ' || header[start] == '\t')) ++start;
    const std::size_t eq = header.find('=', start);
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string name = Lower(header.substr(start, eq - start));
    std::string value;
    std::size_t next;
    if (eq + 1 < header.size() && header[eq + 1] == '"') {
      std::size_t i = eq + 2;
      for (; i < header.size() && header[i] != '"'; ++i) {
        if (header[i] == '\\' && i + 1 < header.size()) ++i;
        value.push_back(header[i]);
      }
      if (i >= header.size()) return std::nullopt;  // unterminated quote
      next = header.find(';', i);
    } else {
      next = header.find(';', eq + 1);
      value = std::string(header.substr(eq + 1, next == std::string_view::npos ? std::string_view::npos
                                                                                  : next - eq - 1));
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    }
    if (name == key) return value;
    pos = next;
  }
  return std::nullopt;
}

// Reads the header block of one part; false when it is malformed.
bool ReadPartHeaders(std::string_view block, MultipartPart& part) {
  bool has_disposition = false;
  std::size_t pos = 0;
  while (pos < block.size()) {
    std::size_t end = block.find("\r\n", pos);
    if (end == std::string_view::npos) end = block.size();
    const std::string_view line = block.substr(pos, end - pos);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    if (Lower(line.substr(0, colon)) == "content-disposition") {
      const std::string_view value = line.substr(colon + 1);
      if (Lower(value).find("form-data") == std::string::npos) return false;
      const auto name = HeaderParameter(value, "name");
      if (!name) return false;
      part.name = *name;
      part.filename = HeaderParameter(value, "filename");
      has_disposition = true;
    }
    pos = end + 2;
  }
  return has_disposition;
}

}  // namespace

std::string MultipartBoundary(std::string_view content_type) {
  const auto boundary = HeaderParameter(content_type, "boundary");
  if (!boundary || boundary->empty() || boundary->size() > kMaxBoundary) return {};
  return *boundary;
}

std::optional<std::vector<MultipartPart>> ParseMultipartBody(std::string_view body, std::string_view boundary,
                                                             std::size_t max_parts) {
  if (boundary.empty()) return std::nullopt;
  const std::string dash_boundary = "--" + std::string(boundary);
  const std::string delimiter = "\r\n" + dash_boundary;
  // The first delimiter opens the body or ends the preamble.
  std::size_t pos;
  if (body.starts_with(dash_boundary)) {
    pos = dash_boundary.size();
  } else {
    pos = body.find(delimiter);
    if (pos == std::string_view::npos) return std::nullopt;
    pos += delimiter.size();
  }
  std::vector<MultipartPart> parts;
  for (;;) {
    if (body.substr(pos, 2) == "--") return parts;  // the closing delimiter; the epilogue is ignored
    while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;  // transport padding
    if (body.substr(pos, 2) != "\r\n") return std::nullopt;
    pos += 2;
    if (parts.size() >= max_parts || body.substr(pos, 2) == "\r\n") return std::nullopt;  // no headers, no name
    const std::size_t headers_end = body.find("\r\n\r\n", pos);
    if (headers_end == std::string_view::npos || headers_end - pos > kMaxPartHeaders) return std::nullopt;
    MultipartPart part;
    if (!ReadPartHeaders(body.substr(pos, headers_end - pos), part)) return std::nullopt;
    const std::size_t content_start = headers_end + 4;
    const std::size_t next = body.find(delimiter, content_start);
    if (next == std::string_view::npos) return std::nullopt;  // cut short
    part.content = std::string(body.substr(content_start, next - content_start));
    parts.push_back(std::move(part));
    pos = next + delimiter.size();
  }
}

}  // namespace nuve::server
