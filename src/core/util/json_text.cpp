#include "core/util/json_text.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace nuve::core {

std::size_t JsonBlankLength(std::string_view s, std::size_t i) {
  switch (s[i]) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r':
      return 1;
    case '\xE3':
      return (i + 2 < s.size() && s[i + 1] == '\x80' && s[i + 2] == '\x80') ? 3 : 0;
    default:
      return 0;
  }
}

bool IsIdeographicSpace(std::string_view s, std::size_t i) {
  return s[i] == '\xE3' && i + 2 < s.size() && s[i + 1] == '\x80' && s[i + 2] == '\x80';
}

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Character classes of the trimming rules; each gives the length of the
// member character at `i`, 0 when the byte there starts none.
std::size_t QuoteRunLength(std::string_view s, std::size_t i) {  // [ 　"\t]
  if (s[i] == ' ' || s[i] == '"' || s[i] == '\t') return 1;
  return IsIdeographicSpace(s, i) ? 3 : 0;
}

std::size_t LineBlankLength(std::string_view s, std::size_t i) {  // [ 　\t]
  if (s[i] == ' ' || s[i] == '\t') return 1;
  return IsIdeographicSpace(s, i) ? 3 : 0;
}

// Finds where a run of one character class that starts at a position ends.
// Every character boundary inside a run gives the same end, so the last run
// found is remembered: scanning a long run once per starting position would
// cost quadratic time on a long run of blanks.
class RunEnds {
 public:
  using ClassLength = std::size_t (*)(std::string_view, std::size_t);
  RunEnds(std::string_view s, ClassLength length) : s_(s), length_(length) {}

  std::size_t From(std::size_t p) {
    if (p >= from_ && p < end_) return end_;
    std::size_t j = p;
    while (j < s_.size()) {
      std::size_t n = length_(s_, j);
      if (n == 0) break;
      j += n;
    }
    if (j > p) {
      from_ = p;
      end_ = j;
    }
    return j;
  }

 private:
  std::string_view s_;
  ClassLength length_;
  std::size_t from_ = kNone;
  std::size_t end_ = 0;
};

bool AtLineStart(std::string_view s, std::size_t p) { return p == 0 || s[p - 1] == '\n'; }
bool AtLineEnd(std::string_view s, std::size_t p) { return p == s.size() || s[p] == '\n'; }

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The four hex digits at `i` as a number, or -1.
long ReadHex4(std::string_view s, std::size_t i) {
  if (i + 4 > s.size()) return -1;
  long value = 0;
  for (std::size_t k = i; k < i + 4; ++k) {
    char c = s[k];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return -1;
    value = value * 16 + digit;
  }
  return value;
}

// Bytes at which compacting stops copying: the quote and the first bytes of
// blanks.
constexpr std::array<bool, 256> MakeCompactStop() {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view("\" \t\n\v\f\r\xE3")) table[c] = true;
  return table;
}
constexpr std::array<bool, 256> kCompactStop = MakeCompactStop();

}  // namespace

bool DecodeJsonString(std::string_view raw, std::string& out) {
  if (raw.size() < 2 || raw.front() != '"') return false;
  out.clear();
  out.reserve(raw.size());
  std::size_t i = 1;
  while (i < raw.size()) {
    char c = raw[i];
    if (c == '"') return i + 1 == raw.size();
    if (c != '\\') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 >= raw.size()) return false;
    char e = raw[i + 1];
    i += 2;
    switch (e) {
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case '/': out += '/'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'u': {
        long unit = ReadHex4(raw, i);
        if (unit < 0) {
          out += "\\u";
          break;
        }
        i += 4;
        std::uint32_t cp = static_cast<std::uint32_t>(unit);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          long low = (i + 1 < raw.size() && raw[i] == '\\' && raw[i + 1] == 'u')
                         ? ReadHex4(raw, i + 2)
                         : -1;
          if (low >= 0xDC00 && low <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint32_t>(low) - 0xDC00);
            i += 6;
          } else {
            cp = 0xFFFD;
          }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
          cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
        break;
      }
      default:
        out += '\\';
        out += e;
        break;
    }
  }
  return false;
}

void CompactJson(std::string_view text, std::string& plain, std::string* masked) {
  plain.clear();
  plain.reserve(text.size());
  if (masked) {
    masked->clear();
    masked->reserve(text.size());
  }
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    // Copy a run of ordinary bytes in one go.
    std::size_t run = i;
    while (run < n && !kCompactStop[static_cast<unsigned char>(text[run])]) ++run;
    if (run > i) {
      plain.append(text.substr(i, run - i));
      if (masked) masked->append(text.substr(i, run - i));
      i = run;
      continue;
    }
    if (text[i] == '"') {
      // A string literal: copy it whole, blanking its contents in the mask.
      std::size_t j = i + 1;
      while (j < n && text[j] != '"') j += text[j] == '\\' ? 2 : 1;
      std::size_t contents_end = std::min(j, n);
      std::size_t stop = j < n ? j + 1 : n;
      plain.append(text.substr(i, stop - i));
      if (masked) {
        masked->push_back('"');
        masked->append(contents_end - i - 1, ' ');
        if (j < n) masked->push_back('"');
      }
      i = stop;
      continue;
    }
    std::size_t j = i;
    while (j < n) {
      std::size_t len = JsonBlankLength(text, j);
      if (len == 0) break;
      j += len;
    }
    if (j == i) {  // an 0xE3 lead byte that starts no ideographic space
      plain.push_back(text[i]);
      if (masked) masked->push_back(text[i]);
      ++i;
      continue;
    }
    char before = plain.empty() ? '\0' : plain.back();
    char after = j < n ? text[j] : '\0';
    bool drop = before == ']' || before == '}' || before == '"' || after == '[' ||
                after == '{' || after == '"';
    if (!drop) {
      plain.append(text.substr(i, j - i));
      if (masked) masked->append(text.substr(i, j - i));
    }
    i = j;
  }
}

std::string StripQuoteRuns(std::string_view text) {
  // Global replacement of `[\s　]+"|"[\s　]+|^[ 　"\t]+|[ 　"\t]+$` by "" in
  // multi-line mode: at each position the alternatives are tried in that
  // order, and scanning resumes after a match.
  std::string out;
  out.reserve(text.size());
  RunEnds blanks(text, JsonBlankLength);
  RunEnds quote_runs(text, QuoteRunLength);
  std::size_t p = 0;
  while (p < text.size()) {
    std::size_t end = blanks.From(p);
    if (end > p && end < text.size() && text[end] == '"') {
      p = end + 1;
      continue;
    }
    if (text[p] == '"') {
      std::size_t after = blanks.From(p + 1);
      if (after > p + 1) {
        p = after;
        continue;
      }
    }
    std::size_t run = quote_runs.From(p);
    if (run > p && (AtLineStart(text, p) || AtLineEnd(text, run))) {
      p = run;
      continue;
    }
    std::size_t step = std::max<std::size_t>(JsonBlankLength(text, p), 1);
    out.append(text.substr(p, step));
    p += step;
  }
  return out;
}

std::string TrimLineBlanks(std::string_view text) {
  // Global replacement of `^[ 　\t]+|[ 　\t]+$` by "" in multi-line mode.
  std::string out;
  out.reserve(text.size());
  RunEnds runs(text, LineBlankLength);
  std::size_t p = 0;
  while (p < text.size()) {
    std::size_t run = runs.From(p);
    if (run > p && (AtLineStart(text, p) || AtLineEnd(text, run))) {
      p = run;
      continue;
    }
    std::size_t step = std::max<std::size_t>(LineBlankLength(text, p), 1);
    out.append(text.substr(p, step));
    p += step;
  }
  return out;
}

}  // namespace nuve::core
