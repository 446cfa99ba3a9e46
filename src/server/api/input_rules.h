#pragma once
// What the service accepts in each field. Texts are UTF-8; lengths count
// characters (code points), not bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nuve::server {

// Well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF)
// without NUL.
bool IsValidUtf8(std::string_view text);
// The number of code points of well-formed UTF-8.
std::size_t Utf8Length(std::string_view text);
// No control characters other than tab, CR and LF (for multi-line texts) or
// none at all (for one-line texts).
bool HasNoControlCharacters(std::string_view text, bool multi_line);

// 8 to 10 decimal digits.
bool IsAccountNumber(std::string_view account);
// 6 to 16 characters.
bool IsAcceptablePassword(std::string_view password);
// local@domain, printable ASCII without spaces, at most 254 bytes; the
// domain has a dot and no empty labels. Mail headers cannot be smuggled in.
bool IsEmailAddress(std::string_view email);
// Digits with an optional leading "+", and "-" or blanks between; 3 to 20.
bool IsPhoneNumber(std::string_view phone);
// A one-line text of 1 to `max` characters.
bool IsShortText(std::string_view text, std::size_t max);
// A decimal number without sign that fits 63 bits.
std::optional<std::int64_t> ParseId(std::string_view text);
// 32 hex digits; returns them in lower case.
std::optional<std::string> ParseMd5Hex(std::string_view text);

}  // namespace nuve::server
