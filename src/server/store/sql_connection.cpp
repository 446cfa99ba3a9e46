#include "server/store/sql_connection.h"

#include <charconv>

namespace nuve::server {

const std::string& SqlRow::Text(std::size_t i) const {
  static const std::string kEmpty;
  const auto& cell = cells_.at(i);
  return cell ? *cell : kEmpty;
}

std::int64_t SqlRow::Int(std::size_t i) const {
  const std::string& text = Text(i);
  std::int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace nuve::server
