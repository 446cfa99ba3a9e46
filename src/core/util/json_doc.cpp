#include "core/util/json_doc.h"

// Start reading at GetValue: it splits the path, loads the text (Load builds
// both buffers in one pass), picks the top level (TopKind) and walks down one
// level per segment (Walk). The level readers NextMember and NextElement scan
// the masked buffer forward only, counting brackets and braces as they go, so
// every level is read in one pass however it is nested; nothing recurses.

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "core/util/regex_engine.h"

namespace nuve::core {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Spare buffer storage up to this size is kept between loads whatever is
// loaded next; larger storage only while the text loaded is within a quarter
// of it.
constexpr std::size_t kSpareStorageKept = 16u << 20;

// Length of the blank at `i` for compacting and trimming: the whitespace
// class of the reader (space, tab, line feed, vertical tab, form feed,
// carriage return) and the ideographic space U+3000 (three bytes in UTF-8).
std::size_t BlankLength(std::string_view s, std::size_t i) {
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

// Decodes a whole JSON string literal (quotes included) into UTF-8. Returns
// false when `raw` is not exactly one literal: no opening quote, or the
// closing quote missing or followed by more text. Escapes JSON does not know
// are kept as written; a lone surrogate becomes U+FFFD.
bool DecodeStringLiteral(std::string_view raw, std::string& out) {
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

// Bytes at which compacting stops copying: the quote and the first bytes of
// blanks.
constexpr std::array<bool, 256> MakeCompactStop() {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view("\" \t\n\v\f\r\xE3")) table[c] = true;
  return table;
}
constexpr std::array<bool, 256> kCompactStop = MakeCompactStop();

// Builds the compacted text and, when `masked` is given, the masked copy in
// the same pass. Strings run from an unescaped quote to the next unescaped
// quote (a backslash takes the byte after it along); an unclosed string runs
// to the end. Inside strings nothing is removed and the masked copy holds
// spaces; outside, a run of blanks goes when a "]", "}" or closing quote
// stands before it or a "[", "{" or opening quote after it.
void CompactInto(std::string_view text, std::string& plain, std::string* masked) {
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
      std::size_t len = BlankLength(text, j);
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

// Bytes that the level readers stop at in the masked buffer.
constexpr std::array<bool, 256> MakeStructural() {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view("{}[],")) table[c] = true;
  return table;
}
constexpr std::array<bool, 256> kStructural = MakeStructural();

// Scans forward from `from` to the first "," or `closer` at which the bytes
// since `from` hold balanced braces and brackets. Returns its index, the
// buffer size when the end is reached balanced, or kNone.
std::size_t FindBalancedEnd(std::string_view masked, std::size_t from, char closer,
                            bool& at_closer) {
  long braces = 0;
  long brackets = 0;
  at_closer = false;
  for (std::size_t i = from; i < masked.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(masked[i]);
    if (!kStructural[c]) continue;
    if ((c == ',' || c == static_cast<unsigned char>(closer)) && braces == 0 && brackets == 0) {
      at_closer = c != ',';
      return i;
    }
    switch (c) {
      case '{': ++braces; break;
      case '}': --braces; break;
      case '[': ++brackets; break;
      case ']': --brackets; break;
      default: break;
    }
  }
  return (braces == 0 && brackets == 0) ? masked.size() : kNone;
}

// The number an array step "[n]" names, or -1 when the segment is not one.
long long ArrayStep(const std::string& segment) {
  if (segment.size() < 3 || segment.front() != '[' || segment.back() != ']') return -1;
  std::string_view digits(segment.data() + 1, segment.size() - 2);
  if (digits.size() > 18 || (digits.size() > 1 && digits[0] == '0')) return -1;
  long long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (true) {
    std::size_t hit = text.find(from, at);
    if (hit == kNone) break;
    out.append(text.substr(at, hit - at));
    out.append(to);
    at = hit + from.size();
  }
  out.append(text.substr(at));
  return out;
}

}  // namespace

JsonDoc::JsonDoc() = default;

JsonDoc::JsonDoc(const JsonDoc& other) {
  std::lock_guard lock(other.mutex_);
  plain_ = other.plain_;
  masked_ = other.masked_;
  segments_ = other.segments_;
  depth_ = other.depth_;
  result_ = other.result_;
  zero_based_ = other.zero_based_;
}

JsonDoc& JsonDoc::operator=(const JsonDoc& other) {
  if (this != &other) {
    // Copy under the other's lock first, then move in under our own, so the
    // two locks are never held together.
    JsonDoc copy(other);
    std::lock_guard lock(mutex_);
    plain_ = std::move(copy.plain_);
    masked_ = std::move(copy.masked_);
    segments_ = std::move(copy.segments_);
    depth_ = copy.depth_;
    result_ = std::move(copy.result_);
    zero_based_ = copy.zero_based_;
  }
  return *this;
}

JsonDoc::~JsonDoc() = default;

std::string JsonDoc::GetValue(std::string_view json, std::string_view path, bool zero_based) {
  std::lock_guard lock(mutex_);
  if (path.empty() || SplitPath(path) == 0) return Compact(json);
  zero_based_ = zero_based;
  depth_ = 1;
  result_.clear();
  LoadUnlocked(json);
  int kind = TopKind(json);
  Walk(kind);
  return FinishResult(result_);
}

std::string JsonDoc::StripQuotes(std::string_view text) const {
  // Global replacement of `[\s　]+"|"[\s　]+|^[ 　"\t]+|[ 　"\t]+$` by "" in
  // multi-line mode: at each position the alternatives are tried in that
  // order, and scanning resumes after a match.
  std::string out;
  out.reserve(text.size());
  RunEnds blanks(text, BlankLength);
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
    std::size_t step = std::max<std::size_t>(BlankLength(text, p), 1);
    out.append(text.substr(p, step));
    p += step;
  }
  return out;
}

std::string JsonDoc::TrimBlanks(std::string_view text) const {
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

std::size_t JsonDoc::ParseTop(std::string_view json, std::vector<JsonMember>& members,
                              std::vector<std::string>& elements, int& kind) {
  std::lock_guard lock(mutex_);
  LoadUnlocked(json);
  kind = TopKind(json);
  if (kind == kKindArray) return ListElements({}, false, elements);
  return ListMembers({}, false, members);
}

std::size_t JsonDoc::ListMembers(std::string_view text, bool load,
                                 std::vector<JsonMember>& members) {
  std::lock_guard lock(mutex_);
  if (load) LoadUnlocked(text);
  members.clear();
  std::size_t at = FirstMasked('{');
  if (at == kNone) return 0;
  std::string name;
  Span value;
  while (NextMember(at, &name, value)) {
    members.push_back({name, plain_.substr(value.begin, value.end - value.begin)});
  }
  return members.size();
}

std::size_t JsonDoc::ListElements(std::string_view text, bool load,
                                  std::vector<std::string>& elements) {
  std::lock_guard lock(mutex_);
  if (load) LoadUnlocked(text);
  elements.clear();
  std::size_t at = FirstMasked('[');
  if (at == kNone) return 0;
  Span element;
  bool last = false;
  while (NextElement(at, element, last)) {
    elements.push_back(plain_.substr(element.begin, element.end - element.begin));
    if (last) break;
  }
  if (elements.size() == 1 && elements.front().empty()) elements.clear();
  return elements.size();
}

int JsonDoc::ValueKind(std::string_view text) const {
  if (text.empty()) return kKindOther;
  if (text.front() == '{') return kKindObject;
  if (text.front() == '[') return kKindArray;
  return kKindOther;
}

int JsonDoc::FindFirstStructure(std::string_view text, Position& pos) const {
  std::size_t first = text.find_first_of("{[\"");
  if (first == kNone) {
    pos = kNotFound;
    return kKindOther;
  }
  pos = static_cast<Position>(first) + 1;
  if (text[first] == '{') return kKindObject;
  if (text[first] == '[') return kKindArray;
  return kKindOther;
}

std::size_t JsonDoc::SplitPath(std::string_view path) {
  std::lock_guard lock(mutex_);
  const std::string p = ReplaceAll(path, "''", "\"");
  segments_.clear();
  depth_ = 1;
  // Quotes seen since the current segment began, counted once each as the
  // dots are visited, so a long quoted segment is not recounted per dot.
  std::size_t seg_start = 0;  // index just past the previous dot
  std::size_t counted_to = 0;
  std::size_t quotes = 0;
  while (true) {
    std::size_t dot = p.find('.', counted_to);
    bool done = dot == kNone;
    if (done) dot = p.size();
    for (; counted_to < dot; ++counted_to) {
      if (p[counted_to] == '"') ++quotes;
    }
    if (quotes == 1) {
      // The dot lies inside a quoted segment; an unclosed one at the end is
      // dropped.
      if (done) break;
      ++counted_to;  // step past this dot, which belongs to the segment
      continue;
    }
    segments_.push_back(StripQuotes(std::string_view(p).substr(seg_start, dot - seg_start)));
    if (done) break;
    seg_start = dot + 1;
    counted_to = seg_start;
    quotes = 0;
  }
  return segments_.size();
}

std::string JsonDoc::NormalisePath(std::string_view path, int mode) const {
  const char* pattern;
  const char* replacement;
  if (mode == 0) {
    pattern = R"(\.(\[\d+\]))";
    replacement = "$1";
  } else if (mode == 1) {
    pattern = R"(([^\.])(\[\d+\])(\.?))";
    replacement = "$1.$2$3";
  } else {
    return {};
  }
  RegexEngine engine;
  engine.Create(pattern);
  return engine.Replace(std::string(path), replacement);
}

std::string JsonDoc::Compact(std::string_view text) const {
  std::string out;
  CompactInto(text, out, nullptr);
  return out;
}

void JsonDoc::Load(std::string_view text) {
  std::lock_guard lock(mutex_);
  LoadUnlocked(text);
}

bool JsonDoc::WalkArray(const std::vector<std::string>& elements) {
  std::lock_guard lock(mutex_);
  if (depth_ < 1 || depth_ > segments_.size()) return true;
  long long step = ArrayStep(segments_[depth_ - 1]);
  long long index = step < 0 ? -1 : step + (zero_based_ ? 1 : 0);  // 1-based
  if (index >= 1 && static_cast<unsigned long long>(index) <= elements.size()) {
    Descend(elements[static_cast<std::size_t>(index - 1)]);
  }
  return true;
}

bool JsonDoc::WalkObject(const std::vector<JsonMember>& members) {
  std::lock_guard lock(mutex_);
  if (depth_ < 1 || depth_ > segments_.size()) return true;
  for (const JsonMember& member : members) {
    if (member.name == segments_[depth_ - 1]) {
      Descend(member.value);
      break;
    }
  }
  return true;
}

bool JsonDoc::IsBalanced(Position from, Position to) const {
  std::lock_guard lock(mutex_);
  if (from == kNotFound || to == kNotFound) return false;
  long counts[5] = {0, 0, 0, 0, 0};
  const Position size = static_cast<Position>(masked_.size());
  for (Position p = std::max<Position>(from + 1, 1); p < to && p <= size; ++p) {
    switch (masked_[static_cast<std::size_t>(p - 1)]) {
      case '{': ++counts[0]; break;
      case '}': ++counts[1]; break;
      case '[': ++counts[2]; break;
      case ']': ++counts[3]; break;
      case '"': ++counts[4]; break;
      default: break;
    }
  }
  return counts[0] == counts[1] && counts[2] == counts[3] && counts[4] % 2 == 0;
}

std::string JsonDoc::ReadMemberName(Position start, Position& next) const {
  std::lock_guard lock(mutex_);
  next = kNotFound;
  if (start < 1) start = 1;
  std::size_t from = static_cast<std::size_t>(start - 1);
  if (from < masked_.size() && masked_[from] != '{' && masked_[from] != ',') {
    std::size_t brace = masked_.find('{', from);
    if (brace != kNone) from = brace;
  }
  std::size_t colon = from < masked_.size() ? masked_.find(':', from + 1) : kNone;
  if (colon == kNone) return std::string(kOutOfRange);
  next = static_cast<Position>(colon) + 1;
  return MemberName(from, colon);
}

std::string JsonDoc::ReadMemberValue(Position start, Position& end) const {
  std::lock_guard lock(mutex_);
  end = kNotFound;
  if (start < 1 || static_cast<std::size_t>(start) > masked_.size()) {
    return std::string(kOutOfRange);
  }
  bool at_closer = false;
  std::size_t stop =
      FindBalancedEnd(masked_, static_cast<std::size_t>(start), '}', at_closer);
  if (stop == kNone) return std::string(kOutOfRange);
  end = static_cast<Position>(stop) + 1;
  return Extract(start, end);
}

std::string JsonDoc::Extract(Position from, Position to, bool inclusive) const {
  std::lock_guard lock(mutex_);
  // The bytes from..to (inclusive) or from+1..to-1 (between), clipped to the
  // buffer; an empty or reversed range gives "".
  Position first = inclusive ? from : from + 1;
  Position last = inclusive ? to : to - 1;
  first = std::max<Position>(first, 1);
  last = std::min<Position>(last, static_cast<Position>(plain_.size()));
  if (from == kNotFound || to == kNotFound || last < first) return {};
  return plain_.substr(static_cast<std::size_t>(first - 1),
                       static_cast<std::size_t>(last - first + 1));
}

std::string JsonDoc::PlainBuffer() const {
  std::lock_guard lock(mutex_);
  return plain_;
}

std::string JsonDoc::MaskedBuffer() const {
  std::lock_guard lock(mutex_);
  return masked_;
}

std::vector<std::string> JsonDoc::PathSegments() const {
  std::lock_guard lock(mutex_);
  return segments_;
}

void JsonDoc::LoadUnlocked(std::string_view text) {
  // Build into the spare buffers first, as `text` may point into the loaded
  // ones, then swap. Keeping the spares' storage saves fresh pages (and their
  // faults) on every load of a large reply; storage far larger than what is
  // needed now is let go.
  const std::size_t keep = std::max<std::size_t>(4 * text.size(), kSpareStorageKept);
  if (spare_plain_.capacity() > keep) std::string().swap(spare_plain_);
  if (spare_masked_.capacity() > keep) std::string().swap(spare_masked_);
  CompactInto(text, spare_plain_, &spare_masked_);
  plain_.swap(spare_plain_);
  masked_.swap(spare_masked_);
}

bool JsonDoc::NextMember(std::size_t& at, std::string* name, Span& value) const {
  // `at` is the "{" or "," before the member, or the "}" that ended the last
  // one, in which case reading goes on in a following object.
  std::size_t from = at;
  if (from >= masked_.size()) return false;
  if (masked_[from] != '{' && masked_[from] != ',') {
    std::size_t brace = masked_.find('{', from);
    if (brace == kNone) return false;  // no colon can start a member any more
    from = brace;
  }
  std::size_t colon = masked_.find(':', from + 1);
  if (colon == kNone) return false;
  bool at_closer = false;
  std::size_t end = FindBalancedEnd(masked_, colon + 1, '}', at_closer);
  if (end == kNone) return false;
  if (name) *name = MemberName(from, colon);
  value = TrimmedSpan(colon + 1, end);
  at = end;
  return true;
}

bool JsonDoc::NextElement(std::size_t& at, Span& element, bool& last) const {
  // `at` is the "[" or "," before the element.
  if (at >= masked_.size()) return false;
  std::size_t end = FindBalancedEnd(masked_, at + 1, ']', last);
  if (end == kNone || end == masked_.size()) return false;  // the array never closes
  element = TrimmedSpan(at + 1, end);
  at = end;
  return true;
}

std::string JsonDoc::MemberName(std::size_t from, std::size_t colon) const {
  Span span = TrimmedSpan(from + 1, colon);
  std::string_view raw(plain_.data() + span.begin, span.end - span.begin);
  std::string decoded;
  if (DecodeStringLiteral(raw, decoded)) return decoded;
  // Unquoted or malformed names keep the older, looser reading.
  return StripQuotes(std::string_view(plain_).substr(from + 1, colon - from - 1));
}

JsonDoc::Span JsonDoc::TrimmedSpan(std::size_t begin, std::size_t end) const {
  // Blanks at either end of a value are never part of it; blanks inside
  // strings are kept because only the ends are touched.
  while (begin < end && BlankLength(plain_, begin) != 0 &&
         begin + BlankLength(plain_, begin) <= end) {
    begin += BlankLength(plain_, begin);
  }
  while (end > begin) {
    if (BlankLength(plain_, end - 1) == 1) {
      --end;
    } else if (end - begin >= 3 && IsIdeographicSpace(plain_, end - 3)) {
      end -= 3;
    } else {
      break;
    }
  }
  return {begin, end};
}

std::size_t JsonDoc::FirstMasked(char c) const { return masked_.find(c); }

int JsonDoc::TopKind(std::string_view json) {
  std::size_t brace = FirstMasked('{');
  std::size_t bracket = FirstMasked('[');
  if (brace == kNone && bracket == kNone) {
    // A bare value is read as a one-element array.
    std::string wrapped;
    wrapped.reserve(json.size() + 2);
    wrapped.append("[").append(json).append("]");
    LoadUnlocked(wrapped);
    brace = FirstMasked('{');
    bracket = FirstMasked('[');
  }
  return bracket < brace ? kKindArray : kKindObject;
}

void JsonDoc::Walk(int kind) {
  // One pass per path segment over the level loaded in the buffers; the first
  // match is taken and only its value is copied out.
  while (depth_ >= 1 && depth_ <= segments_.size()) {
    const std::string& segment = segments_[depth_ - 1];
    bool found = false;
    Span value;
    if (kind == kKindObject) {
      std::size_t at = FirstMasked('{');
      std::string name;
      while (at != kNone && NextMember(at, &name, value)) {
        if (name == segment) {
          found = true;
          break;
        }
      }
    } else {
      long long step = ArrayStep(segment);
      long long index = step < 0 ? -1 : step + (zero_based_ ? 1 : 0);  // 1-based
      std::size_t at = FirstMasked('[');
      bool last = false;
      long long count = 0;
      while (index >= 1 && at != kNone && NextElement(at, value, last)) {
        if (++count == index) {
          // "[]" reads as one empty element, which is no element at all.
          found = !(count == 1 && last && value.begin == value.end);
          break;
        }
        if (last) break;
      }
    }
    if (!found) return;
    std::string text = plain_.substr(value.begin, value.end - value.begin);
    if (depth_ == segments_.size()) {
      result_ = std::move(text);
      return;
    }
    ++depth_;
    kind = ValueKind(text);
    if (kind == kKindOther) return;  // a scalar cannot be descended
    LoadUnlocked(text);
  }
}

void JsonDoc::Descend(const std::string& value) {
  if (depth_ == segments_.size()) {
    result_ = value;
    return;
  }
  ++depth_;
  int kind = ValueKind(value);
  if (kind == kKindOther) return;
  LoadUnlocked(value);
  Walk(kind);
}

std::string JsonDoc::FinishResult(const std::string& raw) const {
  std::string decoded;
  if (DecodeStringLiteral(raw, decoded)) return decoded;
  if (ValueKind(raw) != kKindOther) return raw;
  return StripQuotes(raw);
}

}  // namespace nuve::core
