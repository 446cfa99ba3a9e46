#pragma once
// Conversions used around the account service: Base64 both ways, binary-digit
// helpers, timestamps and date-times. The readers that turn the service's JSON
// into records live beside the records (core/account/record_reader.h). The class keeps no state; its objects are interchangeable.
//
// Beside it live the member conversions the reply and record classes share
// (text, integer, flag, date-time and picture), so that every class reads a
// member the same way.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/util/read_url.h"

namespace nuve::core {

// A wall-clock date-time with no time zone attached, to whole seconds. The
// service's timestamps are shown as UTC+8 wall-clock times.
using DateTime = std::chrono::local_seconds;

// "YYYY-MM-DD HH:MM:SS"; "" for a date-time outside the years 1 to 9999.
std::string FormatDateTime(DateTime value);

// The conversions of a member's text.
// Integer: a leading signed decimal number (blanks before it allowed); 0 when
// the text does not start with one or the number does not fit.
std::int32_t TextToInt32(std::string_view text);
std::int64_t TextToInt64(std::string_view text);
// Flag: true only for exactly "true".
bool TextToFlag(std::string_view text);
// Date-time: the text as a 64-bit timestamp through TimestampToDateTime with
// both flags true; "" or a non-number gives 1970-01-01 08:00:00.
DateTime TextToDateTime(std::string_view text);
// Picture: the bytes behind the URL, fetched anew by a plain GET with a 15 s
// time-out (through the proxy of `options`, when it names one); "" on any
// failure. Blocks: call it off the UI thread.
std::string FetchPicture(const std::string& url, const ReadUrlOptions& options = {});
// Member `path` of `json` read through the shared JSON document; "" when absent.
std::string ReadJsonMember(const std::string& json, const std::string& path);

class CodecUtil {
 public:
  // Flags value of BinaryToString for standard Base64 in lines of 64
  // characters, each line (the last one too) ended by CR LF.
  static constexpr std::int32_t kBase64Lines = 1;

  // Binary-to-text encoding. Only kBase64Lines is known; any other flags give
  // "" (logged). No bytes give "".
  std::string BinaryToString(std::int32_t flags, std::string_view bytes) const;
  // Strict padded Base64: only A-Z a-z 0-9 + / and "=" padding at the very
  // end, length a multiple of 4. The padding is dropped ("QQ==" gives "A").
  // Anything else (blanks, line breaks, URL-safe "-" "_") gives "".
  std::string Base64Decode(std::string_view text) const;
  // `bits` left-padded with "0" to 6 (PadBits6) or 8 (PadBits8) characters.
  std::string PadBits6(std::string_view bits) const;
  std::string PadBits8(std::string_view bits) const;
  // Binary digits, most significant first; "0" for 0 and negative numbers.
  std::string ToBinaryDigits(std::int32_t value) const;
  // Sum of 2^(k-1) over every "1" standing k-th from the right; other
  // characters count as 0. Digits beyond the 32nd from the right drop out.
  std::int32_t FromBinaryDigits(std::string_view digits) const;
  // Milliseconds since 1970-01-01 00:00:00 UTC, in decimal, from one reading
  // of the system clock.
  std::string CurrentTimestampMs() const;
  // A timestamp as a UTC+8 (or, with utc8 false, UTC) wall-clock date-time.
  // In seconds a value above 9999999999 is taken as milliseconds. With
  // in_seconds false the value counts milliseconds.
  DateTime TimestampToDateTime(std::int64_t timestamp, bool in_seconds = true,
                               bool utc8 = true) const;
  // Member "content" with every backslash removed.
  std::string GetContent(const std::string& json) const;
  // The bytes between the first `left` and the first `right` after it; ""
  // when either marker is missing.
  std::string BetweenMarkers(std::string_view text, std::string_view left,
                             std::string_view right) const;
  // The value at `path` of `json` through the shared JSON document.
  std::string GetJsonValue(const std::string& json, const std::string& path) const;
};

}  // namespace nuve::core
