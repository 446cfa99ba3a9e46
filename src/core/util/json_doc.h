#pragma once
// JsonDoc reads values out of JSON text by a dotted path without building a
// tree. It holds the loaded text twice: the plain buffer, and the masked
// buffer, in which the contents of every string literal are blanked out so
// that the structural bytes ({ } [ ] : , ") found there are never ones that sit
// inside a string. Raw value text is cut from the plain buffer at the
// positions found in the masked one. One level is read at a time; descending
// into a nested value loads that value's text as a new document.
//
// Every operation takes arbitrary bytes (invalid UTF-8, NUL bytes, truncated
// or hostile text, very deep nesting) and runs in time linear in its input,
// without recursion. Public operations are serialised by an internal mutex,
// so one object may be shared between threads; queries never overlap.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace nuve::core {

// One member of a JSON object: its name (string escapes decoded) and the raw
// JSON text of its value, e.g. "\"abc\"" with quotes and escapes as written,
// "12", "true" or "{\"a\":1}".
struct JsonMember {
  std::string name;
  std::string value;

  bool operator==(const JsonMember&) const = default;
};

class JsonDoc {
 public:
  // Byte positions in the buffers are 1-based; kNotFound marks a failed search.
  using Position = std::int64_t;
  static constexpr Position kNotFound = -1;

  // Kinds returned by ValueKind, FindFirstStructure and ParseTop.
  static constexpr int kKindOther = 0;
  static constexpr int kKindObject = 1;
  static constexpr int kKindArray = 2;

  // What ReadMemberName and ReadMemberValue give when nothing more can be
  // read (their out position is then kNotFound).
  static constexpr std::string_view kOutOfRange = "超出";

  JsonDoc();
  JsonDoc(const JsonDoc& other);
  JsonDoc& operator=(const JsonDoc& other);
  ~JsonDoc();

  // The value at `path` in `json`; "" when the path leads nowhere. A string
  // value comes back decoded to UTF-8 (escapes and surrogate pairs resolved);
  // numbers, true, false, null, objects and arrays come back as their compact
  // raw text. An empty path gives the whole text compacted. Path grammar:
  // segments separated by "."; a segment may be quoted with a double quote or
  // with '' and may then hold dots; an array step is its own segment "[n]"
  // (plain decimal, no leading zeros), 1-based unless `zero_based`.
  std::string GetValue(std::string_view json, std::string_view path, bool zero_based = false);

  // Removes a double quote together with blanks directly before or after it,
  // and runs of spaces, ideographic spaces, tabs and quotes at the start and
  // end of every line.
  std::string StripQuotes(std::string_view text) const;
  // Removes spaces, ideographic spaces and tabs at the start and end of
  // every line.
  std::string TrimBlanks(std::string_view text) const;

  // Loads `json` and reads its first level: the members of the first object
  // (kind 1) or the elements of the first array (kind 2), whichever starts
  // first. Text with neither is read as the one-element array "[" json "]".
  // Returns the count read.
  std::size_t ParseTop(std::string_view json, std::vector<JsonMember>& members,
                       std::vector<std::string>& elements, int& kind);
  // Members of the first object in `text` (loaded first when `load`; otherwise
  // the buffers already loaded are read and `text` is ignored). Reading goes
  // on into an object that directly follows. Malformed text gives the
  // members read before the first one whose end cannot be found.
  std::size_t ListMembers(std::string_view text, bool load, std::vector<JsonMember>& members);
  // Raw texts of the elements of the first array in `text` (trimmed of
  // blanks; nested arrays and objects whole). "[]" has no elements.
  std::size_t ListElements(std::string_view text, bool load, std::vector<std::string>& elements);

  // 1 when the first byte of `text` is "{", 2 when it is "[", 0 otherwise.
  int ValueKind(std::string_view text) const;
  // Kind of the first of "{", "[" and the double quote in `text` (0 when the
  // quote comes first or none exists); `pos` is its 1-based position or -1.
  int FindFirstStructure(std::string_view text, Position& pos) const;

  // Splits `path` into its segments (see GetValue) and keeps them for the
  // walk; returns their count. A path whose last quoted segment is never
  // closed loses that segment.
  std::size_t SplitPath(std::string_view path);
  // Mode 0: "a.[0]" becomes "a[0]". Mode 1: "a[0].b" becomes "a.[0].b".
  // Any other mode gives "".
  std::string NormalisePath(std::string_view path, int mode) const;

  // Removes blanks (whitespace and the ideographic space) outside string
  // literals that stand directly before "[", "{" or an opening quote, or
  // directly after "]", "}" or a closing quote. Text inside strings is kept.
  std::string Compact(std::string_view text) const;
  // Compacts `text` into the plain buffer and builds the masked buffer.
  void Load(std::string_view text);

  // Steps of the walk behind GetValue: match the current path segment
  // against the given elements or members and descend. Always true.
  bool WalkArray(const std::vector<std::string>& elements);
  bool WalkObject(const std::vector<JsonMember>& members);

  // Whether the masked bytes strictly between `from` and `to` hold as many
  // "{" as "}", as many "[" as "]" and an even number of quotes.
  bool IsBalanced(Position from, Position to) const;
  // The name of the member that starts at the "{" or "," at `start`; `next`
  // becomes the position of its colon.
  std::string ReadMemberName(Position start, Position& next) const;
  // The raw value text after the colon at `start`; `end` becomes the position
  // of the "," or "}" that ends it (the buffer length + 1 at the end).
  std::string ReadMemberValue(Position start, Position& end) const;
  // Plain-buffer bytes strictly between `from` and `to`, or from `from` to
  // `to` inclusive.
  std::string Extract(Position from, Position to, bool inclusive = false) const;

  // The buffers and path segments as they stand, for inspection.
  std::string PlainBuffer() const;
  std::string MaskedBuffer() const;
  std::vector<std::string> PathSegments() const;

 private:
  struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
  };

  // Internal forms of the operations above: 0-based indices, no locking.
  void LoadUnlocked(std::string_view text);
  bool NextMember(std::size_t& at, std::string* name, Span& value) const;
  bool NextElement(std::size_t& at, Span& element, bool& last) const;
  std::string MemberName(std::size_t from, std::size_t colon) const;
  Span TrimmedSpan(std::size_t begin, std::size_t end) const;
  std::size_t FirstMasked(char c) const;
  int TopKind(std::string_view json);
  void Walk(int kind);
  void Descend(const std::string& value);
  std::string FinishResult(const std::string& raw) const;

  mutable std::recursive_mutex mutex_;
  std::string plain_;
  std::string masked_;
  std::string spare_plain_;  // storage reused by the next load
  std::string spare_masked_;
  std::vector<std::string> segments_;
  std::size_t depth_ = 1;
  std::string result_;
  bool zero_based_ = false;
};

}  // namespace nuve::core
