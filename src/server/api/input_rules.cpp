#include "server/api/input_rules.h"

#include <cctype>
#include <charconv>

namespace nuve::server {
namespace {

// Decodes one code point at `i`; returns false for malformed UTF-8.
bool NextCodePoint(std::string_view text, std::size_t& i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length;
  if (lead < 0x80) {
    cp = lead;
    length = 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    cp = lead & 0x1F;
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    cp = lead & 0x0F;
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    cp = lead & 0x07;
    length = 4;
  } else {
    return false;
  }
  if (i + length > text.size()) return false;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
  if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i += length;
  return true;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  char32_t cp = 0;
  while (i < text.size()) {
    if (!NextCodePoint(text, i, cp) || cp == 0) return false;
  }
  return true;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

bool HasNoControlCharacters(std::string_view text, bool multi_line) {
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0x7F) return false;
    if (b < 0x20 && !(multi_line && (b == '\t' || b == '\r' || b == '\n'))) return false;
  }
  return true;
}

bool IsAccountNumber(std::string_view account) {
  if (account.size() < 8 || account.size() > 10) return false;
  for (const char c : account) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsAcceptablePassword(std::string_view password) {
  if (!IsValidUtf8(password)) return false;
  const std::size_t length = Utf8Length(password);
  return length >= 6 && length <= 16;
}

bool IsEmailAddress(std::string_view email) {
  if (email.size() < 3 || email.size() > 254) return false;
  const std::size_t at = email.find('@');
  if (at == 0 || at == std::string_view::npos || email.find('@', at + 1) != std::string_view::npos) return false;
  for (const char c : email) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b >= 0x7F || c == '<' || c == '>' || c == '(' || c == ')' || c == ',' || c == ';' ||
        c == ':' || c == '\\' || c == '"' || c == '[' || c == ']') {
      return false;
    }
  }
  const std::string_view domain = email.substr(at + 1);
  if (domain.find('.') == std::string_view::npos || domain.front() == '.' || domain.back() == '.' ||
      domain.find("..") != std::string_view::npos) {
    return false;
  }
  return true;
}

bool IsPhoneNumber(std::string_view phone) {
  if (phone.size() < 3 || phone.size() > 20) return false;
  int digits = 0;
  for (std::size_t i = 0; i < phone.size(); ++i) {
    const char c = phone[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (!(c == '+' && i == 0) && !((c == '-' || c == ' ') && i > 0 && i + 1 < phone.size())) {
      return false;
    }
  }
  return digits >= 3;
}

bool IsShortText(std::string_view text, std::size_t max) {
  if (text.empty() || !IsValidUtf8(text) || !HasNoControlCharacters(text, false)) return false;
  return Utf8Length(text) <= max;
}

std::optional<std::int64_t> ParseId(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

std::optional<std::string> ParseMd5Hex(std::string_view text) {
  if (text.size() != 32) return std::nullopt;
  std::string lower;
  lower.reserve(32);
  for (const char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return lower;
}

}  // namespace nuve::server
