#include "core/util/codec_util.h"

#include <glib.h>

#include <array>
#include <charconv>
#include <limits>

#include "core/app/log.h"
#include "core/util/json_doc.h"
#include "core/util/read_url.h"
#include "core/util/shared_json.h"

namespace nuve::core {
namespace {

using std::chrono::seconds;

// Earliest and latest instants FormatDateTime renders: 0001-01-01 00:00:00
// and 9999-12-31 23:59:59, counted from 1970-01-01 00:00:00.
constexpr std::int64_t kFirstRenderable = -62135596800;
constexpr std::int64_t kLastRenderable = 253402300799;
// Timestamps above this have more than ten digits and count milliseconds.
constexpr std::int64_t kLargestSecondsValue = 9999999999;
constexpr std::int64_t kUtc8OffsetSeconds = 8 * 3600;
constexpr std::size_t kBase64LineLength = 64;

template <typename Int>
Int LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  text.remove_prefix(i);
  // std::from_chars takes a minus sign but not a plus sign.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return 0;
  }
  Int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  (void)end;
  return error == std::errc() ? value : 0;
}

// Index of a byte in the Base64 alphabet, -1 for "=", -2 for anything else.
constexpr std::array<signed char, 256> MakeBase64Table() {
  std::array<signed char, 256> table{};
  for (auto& entry : table) entry = -2;
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  }
  table['='] = -1;
  return table;
}
constexpr auto kBase64Table = MakeBase64Table();

std::string PadLeft(std::string_view bits, std::size_t width) {
  std::string out;
  if (bits.size() < width) out.assign(width - bits.size(), '0');
  out.append(bits);
  return out;
}

}  // namespace

std::string FormatDateTime(DateTime value) {
  const std::int64_t count = value.time_since_epoch().count();
  if (count < kFirstRenderable || count > kLastRenderable) return {};
  const auto day = std::chrono::floor<std::chrono::days>(value);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss time{value - day};
  char text[32];
  g_snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
             static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
             static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
             static_cast<int>(time.seconds().count()));
  return text;
}

std::int32_t TextToInt32(std::string_view text) { return LeadingInteger<std::int32_t>(text); }

std::int64_t TextToInt64(std::string_view text) { return LeadingInteger<std::int64_t>(text); }

bool TextToFlag(std::string_view text) { return text == "true"; }

DateTime TextToDateTime(std::string_view text) {
  return CodecUtil().TimestampToDateTime(TextToInt64(text), true, true);
}

std::string FetchPicture(const std::string& url, const ReadUrlOptions& options) {
  if (url.empty()) return {};
  return ReadUrl(url, options);  // 15 s time-out by default; "" on any failure
}

std::string ReadJsonMember(const std::string& json, const std::string& path) {
  return SharedJson().GetValue(json, path);
}

std::string CodecUtil::BinaryToString(std::int32_t flags, std::string_view bytes) const {
  if (flags != kBase64Lines) {
    LogWarning("codec", "binary-to-text flags " + std::to_string(flags) + " are not supported");
    return {};
  }
  if (bytes.empty()) return {};
  gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  const std::string_view plain(encoded);
  std::string out;
  out.reserve(plain.size() + plain.size() / kBase64LineLength * 2 + 2);
  for (std::size_t i = 0; i < plain.size(); i += kBase64LineLength) {
    out.append(plain.substr(i, kBase64LineLength));
    out.append("\r\n");
  }
  g_free(encoded);
  return out;
}

std::string CodecUtil::Base64Decode(std::string_view text) const {
  const std::size_t n = text.size();
  if (n % 4 != 0) return {};
  std::size_t padding = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int v = kBase64Table[static_cast<unsigned char>(text[i])];
    if (v == -2) return {};
    // Padding may only fill the last one or two places of the last group.
    if (v == -1) {
      if (i + 2 < n) return {};
      ++padding;
    } else if (padding > 0) {
      return {};
    }
  }
  std::string out;
  out.reserve(n / 4 * 3);
  for (std::size_t i = 0; i < n; i += 4) {
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const int v = kBase64Table[static_cast<unsigned char>(text[i + k])];
      group = (group << 6) | static_cast<std::uint32_t>(v < 0 ? 0 : v);
    }
    out += static_cast<char>((group >> 16) & 0xFF);
    out += static_cast<char>((group >> 8) & 0xFF);
    out += static_cast<char>(group & 0xFF);
  }
  out.resize(out.size() - padding);
  return out;
}

std::string CodecUtil::PadBits6(std::string_view bits) const { return PadLeft(bits, 6); }

std::string CodecUtil::PadBits8(std::string_view bits) const { return PadLeft(bits, 8); }

std::string CodecUtil::ToBinaryDigits(std::int32_t value) const {
  if (value <= 0) return "0";
  std::string digits;
  for (auto v = static_cast<std::uint32_t>(value); v != 0; v >>= 1) {
    digits.insert(digits.begin(), (v & 1) ? '1' : '0');
  }
  return digits;
}

std::int32_t CodecUtil::FromBinaryDigits(std::string_view digits) const {
  std::uint32_t sum = 0;
  const std::size_t n = digits.size();
  for (std::size_t k = 1; k <= n && k <= 32; ++k) {
    if (digits[n - k] == '1') sum |= std::uint32_t{1} << (k - 1);
  }
  return static_cast<std::int32_t>(sum);
}

std::string CodecUtil::CurrentTimestampMs() const {
  const auto now = std::chrono::system_clock::now();
  return std::to_string(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
}

DateTime CodecUtil::TimestampToDateTime(std::int64_t timestamp, bool in_seconds,
                                        bool utc8) const {
  // Seconds are the service's usual unit; a value too large for a date in
  // seconds is a millisecond count. A caller that says "milliseconds" gets
  // exactly one division.
  if (!in_seconds || timestamp > kLargestSecondsValue) timestamp /= 1000;
  const std::int64_t base = utc8 ? kUtc8OffsetSeconds : 0;
  return DateTime{seconds{timestamp + base}};
}

std::string CodecUtil::GetContent(const std::string& json) const {
  std::string content = ReadJsonMember(json, "content");
  std::erase(content, '\\');
  return content;
}

std::string CodecUtil::BetweenMarkers(std::string_view text, std::string_view left,
                                      std::string_view right) const {
  std::size_t p = text.find(left);
  if (p == std::string_view::npos) return {};
  p += left.size();
  const std::size_t q = text.find(right, p);
  if (q == std::string_view::npos) return {};
  return std::string(text.substr(p, q - p));
}

std::string CodecUtil::GetJsonValue(const std::string& json, const std::string& path) const {
  return ReadJsonMember(json, path);
}

}  // namespace nuve::core
