#include "core/util/json_doc.h"

// Start reading at GetValue: it splits the path, loads the text (Load builds
// both buffers in one pass), picks the top level (TopKind) and walks down one
// level per segment (Walk). The level readers NextMember and NextElement scan
// the masked buffer forward only, counting brackets and braces as they go, so
// every level is read in one pass however it is nested; nothing recurses.

#include <algorithm>
#include <array>
#include <exception>
#include <utility>

#include "core/app/log.h"
#include "core/util/json_text.h"
#include "core/util/regex_engine.h"

namespace nuve::core {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Spare buffer storage up to this size is kept between loads whatever is
// loaded next; larger storage only while the text loaded is within a quarter
// of it.
constexpr std::size_t kSpareStorageKept = 16u << 20;

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

std::string JsonDoc::StripQuotes(std::string_view text) const { return StripQuoteRuns(text); }

std::string JsonDoc::TrimBlanks(std::string_view text) const { return TrimLineBlanks(text); }

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
  // A temporary engine, released on return; the patterns are fixed and short.
  try {
    RegexEngine engine;
    engine.Create(pattern);
    return engine.Replace(std::string(path), replacement);
  } catch (const std::exception& e) {
    LogWarning("JsonDoc::NormalisePath", e.what());
    return {};
  }
}

std::string JsonDoc::Compact(std::string_view text) const {
  std::string out;
  CompactJson(text, out, nullptr);
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
  CompactJson(text, spare_plain_, &spare_masked_);
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
  if (DecodeJsonString(raw, decoded)) return decoded;
  // Unquoted or malformed names keep the older, looser reading.
  return StripQuotes(std::string_view(plain_).substr(from + 1, colon - from - 1));
}

JsonDoc::Span JsonDoc::TrimmedSpan(std::size_t begin, std::size_t end) const {
  // Blanks at either end of a value are never part of it; blanks inside
  // strings are kept because only the ends are touched.
  while (begin < end && JsonBlankLength(plain_, begin) != 0 &&
         begin + JsonBlankLength(plain_, begin) <= end) {
    begin += JsonBlankLength(plain_, begin);
  }
  while (end > begin) {
    if (JsonBlankLength(plain_, end - 1) == 1) {
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
  if (DecodeJsonString(raw, decoded)) return decoded;
  if (ValueKind(raw) != kKindOther) return raw;
  return StripQuotes(raw);
}

}  // namespace nuve::core
