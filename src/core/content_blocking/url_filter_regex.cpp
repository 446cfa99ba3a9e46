#include "core/content_blocking/url_filter_regex.h"

#include <array>
#include <memory>
#include <optional>

namespace nuve::core {
namespace {

bool IsPrintableAscii(char c) { return c >= 0x20 && c <= 0x7e; }
bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// A backslash before one of these is a plain character for the engine's
// parser; before a letter or digit it may mean a class, a back-reference
// or a control character, which the validator does not allow.
bool IsEscapablePunctuation(char c) { return IsPrintableAscii(c) && !IsAsciiAlnum(c) && c != ' '; }

// Reads one class item at `i` (a literal or an escaped punctuation
// character) and gives its end, or npos when there is none.
std::size_t ClassItemEnd(std::string_view p, std::size_t i, bool& escaped) {
  if (i >= p.size()) return std::string_view::npos;
  const char c = p[i];
  escaped = false;
  if (c == '\\') {
    if (i + 1 >= p.size() || !IsEscapablePunctuation(p[i + 1])) return std::string_view::npos;
    escaped = true;
    return i + 2;
  }
  if (!IsPrintableAscii(c) || c == '[' || c == ']') return std::string_view::npos;
  return i + 1;
}

// Checks a character class starting at the "[" at `i`; gives the index
// after its "]", or npos.
std::size_t CheckClass(std::string_view p, std::size_t i) {
  ++i;
  if (i < p.size() && p[i] == '^') ++i;
  std::size_t items = 0;
  while (i < p.size() && p[i] != ']') {
    bool escaped = false;
    const std::size_t end = ClassItemEnd(p, i, escaped);
    if (end == std::string_view::npos) return end;
    // A range: both ends plain characters in ascending order.
    if (end + 1 < p.size() && p[end] == '-' && p[end + 1] != ']') {
      bool high_escaped = false;
      const std::size_t high_end = ClassItemEnd(p, end + 1, high_escaped);
      if (high_end == std::string_view::npos || escaped || high_escaped || p[end + 1] < p[i]) {
        return std::string_view::npos;
      }
      i = high_end;
    } else {
      i = end;
    }
    ++items;
  }
  if (i >= p.size() || items == 0) return std::string_view::npos;
  return i + 1;
}

}  // namespace

bool IsEngineUrlFilter(std::string_view p) {
  if (p.empty() || p.size() > kMaxUrlFilterLength) return false;
  std::size_t i = p[0] == '^' ? 1 : 0;
  // For each open group: whether it holds a term yet.
  std::vector<bool> groups;
  bool quantifiable = false;  // the last thing read was a term
  bool any_term = false;
  while (i < p.size()) {
    const char c = p[i];
    if (!IsPrintableAscii(c)) return false;
    bool term = true;
    switch (c) {
      case '\\':
        if (i + 1 >= p.size() || !IsEscapablePunctuation(p[i + 1])) return false;
        i += 2;
        break;
      case '[': {
        const std::size_t end = CheckClass(p, i);
        if (end == std::string_view::npos) return false;
        i = end;
        break;
      }
      case '(':
        if (i + 1 < p.size() && p[i + 1] == '?') return false;
        groups.push_back(false);
        term = false;
        quantifiable = false;
        ++i;
        break;
      case ')':
        if (groups.empty() || !groups.back()) return false;
        groups.pop_back();
        ++i;
        break;
      case '?':
      case '*':
      case '+':
        if (!quantifiable) return false;
        quantifiable = false;
        term = false;
        ++i;
        break;
      case '$':
        // The end-of-line assertion only as the very last term, outside groups.
        if (i + 1 != p.size() || !groups.empty() || !any_term) return false;
        return true;
      case '^':
      case '|':
      case '{':
      case '}':
      case ']':
        return false;
      default:
        ++i;
        break;
    }
    if (term) {
      quantifiable = true;
      any_term = true;
      if (!groups.empty()) groups.back() = true;
    }
  }
  return groups.empty() && any_term;
}

namespace {

constexpr std::size_t kMaxAlternatives = 64;
constexpr int kMaxRepeat = 256;
constexpr int kMaxDepth = 32;
// Repeating a term that matches nearly any character ("." or a negated
// class) makes the engine's automaton grow exponentially: 32 copies compile
// in milliseconds, 48 take a second, 100 never finish.
constexpr int kMaxWideRepeat = 16;
constexpr int kInfinite = -1;

using CharSet = std::array<bool, 128>;

// One term of the parsed expression: a single character matcher (already
// written in the engine's syntax), an assertion, or a group of alternatives;
// with how often it repeats.
struct Term {
  enum class Kind { kMatcher, kStart, kEnd, kGroup } kind = Kind::kMatcher;
  std::string text;                                    // kMatcher
  std::vector<std::vector<Term>> alternatives;         // kGroup
  int min = 1;
  int max = 1;                                         // kInfinite for no limit
};
using Sequence = std::vector<Term>;

std::string EscapeLiteral(char c) {
  static constexpr std::string_view kSpecial = ".^$*+?()[]{}|\\";
  std::string s;
  if (kSpecial.find(c) != std::string_view::npos) s += '\\';
  s += c;
  return s;
}

// A class in the engine's syntax for the characters of `set`: runs of
// digits or letters as ranges, everything else one by one.
std::string WriteClass(const CharSet& set, bool negated) {
  auto category = [](int c) {
    if (c >= '0' && c <= '9') return 1;
    if (c >= 'a' && c <= 'z') return 2;
    if (c >= 'A' && c <= 'Z') return 3;
    return 0;
  };
  std::string out = negated ? "[^" : "[";
  for (int c = 0x20; c < 0x7f; ++c) {
    if (!set[c]) continue;
    int end = c;
    if (category(c) != 0) {
      while (end + 1 < 0x7f && set[end + 1] && category(end + 1) == category(c)) ++end;
    }
    if (end - c >= 2) {
      out += static_cast<char>(c);
      out += '-';
      out += static_cast<char>(end);
      c = end;
      continue;
    }
    const char ch = static_cast<char>(c);
    if (ch == '\\' || ch == ']' || ch == '[' || ch == '^' || ch == '-') out += '\\';
    out += ch;
  }
  out += ']';
  return out;
}

void AddRange(CharSet& set, int low, int high) {
  for (int c = low; c <= high && c < 128; ++c) set[c] = true;
}

// Reads a JavaScript regular expression into terms. Anything the engine
// cannot express makes it fail.
class RegexReader {
 public:
  explicit RegexReader(std::string_view source) : s_(source) {}

  std::optional<std::vector<Sequence>> Read() {
    auto result = ReadAlternatives(0);
    if (!result || pos_ != s_.size()) return std::nullopt;
    return result;
  }

 private:
  std::optional<std::vector<Sequence>> ReadAlternatives(int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    std::vector<Sequence> alternatives(1);
    while (pos_ < s_.size() && s_[pos_] != ')') {
      if (s_[pos_] == '|') {
        ++pos_;
        alternatives.emplace_back();
        continue;
      }
      std::optional<Term> term = ReadTerm(depth);
      if (!term) return std::nullopt;
      if (!ReadQuantifier(*term)) return std::nullopt;
      alternatives.back().push_back(std::move(*term));
    }
    return alternatives;
  }

  std::optional<Term> ReadTerm(int depth) {
    const char c = s_[pos_];
    Term term;
    if (static_cast<unsigned char>(c) >= 0x80 || c < 0x20) return std::nullopt;
    switch (c) {
      case '^':
        ++pos_;
        term.kind = Term::Kind::kStart;
        return term;
      case '$':
        ++pos_;
        term.kind = Term::Kind::kEnd;
        return term;
      case '.':
        ++pos_;
        term.text.push_back('.');  // (assigning "." trips GCC 12's -Wrestrict in sanitizer builds)
        return term;
      case '[':
        return ReadClass();
      case '(': {
        ++pos_;
        if (pos_ < s_.size() && s_[pos_] == '?') {
          if (pos_ + 1 >= s_.size() || s_[pos_ + 1] != ':') return std::nullopt;  // look-arounds, names
          pos_ += 2;
        }
        auto inner = ReadAlternatives(depth + 1);
        if (!inner || pos_ >= s_.size() || s_[pos_] != ')') return std::nullopt;
        ++pos_;
        term.kind = Term::Kind::kGroup;
        term.alternatives = std::move(*inner);
        return term;
      }
      case '\\':
        return ReadEscape();
      case '*':
      case '+':
      case '?':
      case '{':
      case '}':
      case ']':
      case ')':
        return std::nullopt;
      default:
        ++pos_;
        term.text = EscapeLiteral(c);
        return term;
    }
  }

  // A character class escape or an escaped character; `set` gets its
  // characters. Gives false for what the engine cannot match.
  bool ReadEscapedChars(CharSet& set, bool& negated_class) {
    negated_class = false;
    if (pos_ + 1 >= s_.size()) return false;
    const char e = s_[pos_ + 1];
    pos_ += 2;
    switch (e) {
      case 'd':
      case 'D':
        AddRange(set, '0', '9');
        negated_class = e == 'D';
        return true;
      case 'w':
      case 'W':
        AddRange(set, '0', '9');
        AddRange(set, 'a', 'z');
        AddRange(set, 'A', 'Z');
        set['_'] = true;
        negated_class = e == 'W';
        return true;
      case 'x':
      case 'u': {
        const std::size_t digits = e == 'x' ? 2 : 4;
        if (pos_ + digits > s_.size()) return false;
        int value = 0;
        for (std::size_t k = 0; k < digits; ++k) {
          const char h = s_[pos_ + k];
          const int v = h >= '0' && h <= '9'   ? h - '0'
                        : h >= 'a' && h <= 'f' ? h - 'a' + 10
                        : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                               : -1;
          if (v < 0) return false;
          value = value * 16 + v;
        }
        pos_ += digits;
        if (value < 0x21 || value > 0x7e) return false;
        set[value] = true;
        return true;
      }
      default:
        // \b \B \s \S \n \t, back-references and the like have no
        // counterpart; an escaped punctuation character is itself.
        if (!IsEscapablePunctuation(e)) return false;
        set[static_cast<unsigned char>(e)] = true;
        return true;
    }
  }

  std::optional<Term> ReadEscape() {
    CharSet set{};
    bool negated = false;
    if (!ReadEscapedChars(set, negated)) return std::nullopt;
    Term term;
    int count = 0;
    int only = 0;
    for (int c = 0; c < 128; ++c) {
      if (set[c]) {
        ++count;
        only = c;
      }
    }
    term.text = (count == 1 && !negated) ? EscapeLiteral(static_cast<char>(only)) : WriteClass(set, negated);
    return term;
  }

  std::optional<Term> ReadClass() {
    ++pos_;
    bool negated = false;
    if (pos_ < s_.size() && s_[pos_] == '^') {
      negated = true;
      ++pos_;
    }
    CharSet set{};
    bool first = true;
    while (pos_ < s_.size() && (s_[pos_] != ']' || first)) {
      first = false;
      int low = -1;
      if (!ReadClassChar(set, low)) return std::nullopt;
      // A range "a-z": both ends single characters.
      if (low >= 0 && pos_ + 1 < s_.size() && s_[pos_] == '-' && s_[pos_ + 1] != ']') {
        ++pos_;
        CharSet high_set{};
        int high = -1;
        if (!ReadClassChar(high_set, high) || high < low) return std::nullopt;
        AddRange(set, low, high);
      }
    }
    if (pos_ >= s_.size()) return std::nullopt;
    ++pos_;  // "]"
    bool any = false;
    for (int c = 0x20; c < 0x7f; ++c) any = any || set[c];
    if (!any) return std::nullopt;
    Term term;
    term.text = WriteClass(set, negated);
    return term;
  }

  // One member of a class: adds it to `set`; `single` is its character
  // when it is one (and so may start a range), else -1.
  bool ReadClassChar(CharSet& set, int& single) {
    const char c = s_[pos_];
    if (static_cast<unsigned char>(c) >= 0x80 || c < 0x20) return false;
    if (c == '\\') {
      CharSet escaped{};
      bool negated = false;
      if (!ReadEscapedChars(escaped, negated) || negated) return false;
      int count = 0;
      for (int k = 0; k < 128; ++k) {
        if (escaped[k]) {
          set[k] = true;
          single = k;
          ++count;
        }
      }
      if (count != 1) single = -1;
      return true;
    }
    ++pos_;
    set[static_cast<unsigned char>(c)] = true;
    single = static_cast<unsigned char>(c);
    return true;
  }

  bool ReadNumber(int& value) {
    const std::size_t start = pos_;
    value = 0;
    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') {
      value = value * 10 + (s_[pos_] - '0');
      if (value > kMaxRepeat) return false;
      ++pos_;
    }
    return pos_ > start;
  }

  bool ReadQuantifier(Term& term) {
    if (pos_ >= s_.size()) return true;
    const char c = s_[pos_];
    if (c != '?' && c != '*' && c != '+' && c != '{') return true;
    if (term.kind == Term::Kind::kStart || term.kind == Term::Kind::kEnd) return false;
    if (c == '{') {
      ++pos_;
      int min = 0;
      int max = 0;
      if (!ReadNumber(min)) return false;
      max = min;
      if (pos_ < s_.size() && s_[pos_] == ',') {
        ++pos_;
        max = kInfinite;
        if (pos_ < s_.size() && s_[pos_] != '}' && (!ReadNumber(max) || max < min)) return false;
      }
      if (pos_ >= s_.size() || s_[pos_] != '}') return false;
      ++pos_;
      term.min = min;
      term.max = max;
    } else {
      ++pos_;
      term.min = c == '+' ? 1 : 0;
      term.max = c == '?' ? 1 : kInfinite;
    }
    // A lazy quantifier matches the same addresses.
    if (pos_ < s_.size() && s_[pos_] == '?') ++pos_;
    return true;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

// Writes the terms as the engine's patterns, alternatives multiplied out.
class PatternWriter {
 public:
  bool WriteAlternatives(const std::vector<Sequence>& alternatives, std::vector<std::string>& out) {
    for (const Sequence& sequence : alternatives) {
      std::vector<std::string> written{""};
      if (!WriteSequence(sequence, written)) return false;
      for (std::string& w : written) {
        if (out.size() >= kMaxAlternatives) return false;
        out.push_back(std::move(w));
      }
    }
    return true;
  }

 private:
  bool WriteSequence(const Sequence& sequence, std::vector<std::string>& prefixes) {
    for (const Term& term : sequence) {
      std::vector<std::string> pieces;
      if (!WriteTerm(term, pieces)) return false;
      if (prefixes.size() * pieces.size() > kMaxAlternatives) return false;
      std::vector<std::string> next;
      next.reserve(prefixes.size() * pieces.size());
      for (const std::string& prefix : prefixes) {
        for (const std::string& piece : pieces) {
          if (prefix.size() + piece.size() > kMaxUrlFilterLength) return false;
          next.push_back(prefix + piece);
        }
      }
      prefixes = std::move(next);
    }
    return true;
  }

  // `unit` repeated as `term` says; a unit repeated any number of times
  // becomes "unit*" or "unit+".
  static bool Repeat(const std::string& unit, const Term& term, std::string& out) {
    if (term.min == 0 && term.max == 0) return true;
    const int copies = term.max == kInfinite ? std::max(term.min - 1, 0) : term.min;
    const bool wide = unit == "." || unit.compare(0, 2, "[^") == 0;
    const int written = term.max == kInfinite ? copies + 1 : term.max;
    if (wide && written > kMaxWideRepeat) return false;
    if (unit.size() * (static_cast<std::size_t>(copies) + 2) > kMaxUrlFilterLength) return false;
    for (int k = 0; k < copies; ++k) out += unit;
    if (term.max == kInfinite) {
      out += unit;
      out += term.min == 0 ? "*" : "+";
    } else {
      for (int k = term.min; k < term.max; ++k) {
        out += unit;
        out += '?';
        if (out.size() > kMaxUrlFilterLength) return false;
      }
    }
    return true;
  }

  bool WriteTerm(const Term& term, std::vector<std::string>& pieces) {
    switch (term.kind) {
      case Term::Kind::kStart:
        pieces.push_back("^");
        return true;
      case Term::Kind::kEnd:
        pieces.push_back("$");
        return true;
      case Term::Kind::kMatcher: {
        std::string out;
        if (!Repeat(term.text, term, out)) return false;
        pieces.push_back(std::move(out));
        return true;
      }
      case Term::Kind::kGroup: {
        std::vector<std::string> inner;
        if (!WriteAlternatives(term.alternatives, inner)) return false;
        if (term.min == 1 && term.max == 1) {
          pieces = std::move(inner);
          return true;
        }
        // A repeated group keeps its parentheses, so it must be one pattern.
        if (inner.size() != 1 || inner[0].empty()) return false;
        std::string out;
        if (!Repeat("(" + inner[0] + ")", term, out)) return false;
        pieces.push_back(std::move(out));
        return true;
      }
    }
    return false;
  }
};

}  // namespace

bool TranslateFilterRegex(std::string_view source, std::vector<std::string>& patterns) {
  patterns.clear();
  if (source.empty() || source.size() > kMaxUrlFilterLength) return false;
  RegexReader reader(source);
  const std::optional<std::vector<Sequence>> alternatives = reader.Read();
  if (!alternatives) return false;
  std::vector<std::string> written;
  PatternWriter writer;
  if (!writer.WriteAlternatives(*alternatives, written)) return false;
  for (std::string& pattern : written) {
    // ".*" at either end changes nothing in an unanchored search.
    while (pattern.size() > 2 && pattern.compare(0, 2, ".*") == 0) pattern.erase(0, 2);
    if (!IsEngineUrlFilter(pattern)) {
      return false;
    }
  }
  patterns = std::move(written);
  return true;
}

}  // namespace nuve::core
