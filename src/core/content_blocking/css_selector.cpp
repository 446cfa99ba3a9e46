#include "core/content_blocking/css_selector.h"

#include <algorithm>
#include <array>
#include <string>

namespace nuve::core {
namespace {

constexpr int kMaxNesting = 8;

bool IsWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c) || c == '-'; }

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

// Pseudo-classes without arguments the engine knows ("before" and "after"
// are the old spelling of pseudo-elements).
constexpr std::string_view kPlainPseudoClasses[] = {
    "active",        "any-link",     "checked",       "default",         "defined",
    "disabled",      "empty",        "enabled",       "first-child",     "first-of-type",
    "focus",         "focus-visible", "focus-within", "hover",           "in-range",
    "indeterminate", "invalid",      "last-child",    "last-of-type",    "link",
    "only-child",    "only-of-type", "optional",      "out-of-range",    "placeholder-shown",
    "read-only",     "read-write",   "required",      "root",            "scope",
    "target",        "valid",        "visited",       "before",          "after"};

bool Known(std::string_view name) {
  return std::find(std::begin(kPlainPseudoClasses), std::end(kPlainPseudoClasses), name) !=
         std::end(kPlainPseudoClasses);
}

// A recursive-descent reader over one selector list. Every Read* function
// either consumes what it reads and gives true, or gives false.
class SelectorReader {
 public:
  explicit SelectorReader(std::string_view s) : s_(s) {}

  bool ReadWholeList() {
    if (!ReadList(0, false)) return false;
    return pos_ == s_.size();
  }

 private:
  bool AtEnd() const { return pos_ >= s_.size(); }
  char Peek(std::size_t ahead = 0) const { return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : '\0'; }
  void SkipWhitespace() {
    while (!AtEnd() && IsWhitespace(s_[pos_])) ++pos_;
  }

  // A CSS escape after the backslash at pos_: hex digits (and one
  // following blank) or any other character but a line break.
  bool ReadEscape() {
    ++pos_;
    if (AtEnd() || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\f') return false;
    if (IsHexDigit(s_[pos_])) {
      int n = 0;
      while (!AtEnd() && IsHexDigit(s_[pos_]) && n < 6) {
        ++pos_;
        ++n;
      }
      if (!AtEnd() && IsWhitespace(s_[pos_])) ++pos_;
      return true;
    }
    ++pos_;
    return true;
  }

  // An identifier; `out` gets it as written.
  bool ReadIdent(std::string* out = nullptr) {
    const std::size_t start = pos_;
    if (Peek() == '-') {
      ++pos_;
      if (Peek() == '-') {
        ++pos_;  // a custom ident "--x"
      } else if (!IsNameStart(Peek()) && Peek() != '\\') {
        pos_ = start;
        return false;
      }
    } else if (!IsNameStart(Peek()) && Peek() != '\\') {
      return false;
    }
    while (!AtEnd()) {
      const char c = s_[pos_];
      if (c == '\\') {
        if (!ReadEscape()) return false;
      } else if (IsNameChar(c)) {
        ++pos_;
      } else {
        break;
      }
    }
    if (out) *out = std::string(s_.substr(start, pos_ - start));
    return pos_ > start;
  }

  bool ReadString() {
    const char quote = s_[pos_++];
    while (!AtEnd() && s_[pos_] != quote) {
      const char c = s_[pos_];
      if (c == '\n' || c == '\r' || c == '\f') return false;
      if (c == '\\') {
        ++pos_;
        if (AtEnd()) return false;
        if (s_[pos_] == '\r' && Peek(1) == '\n') ++pos_;
      }
      ++pos_;
    }
    if (AtEnd()) return false;
    ++pos_;
    return true;
  }

  bool ReadAttribute() {
    ++pos_;  // "["
    SkipWhitespace();
    if (!ReadIdent()) return false;
    SkipWhitespace();
    if (Peek() == ']') {
      ++pos_;
      return true;
    }
    if (Peek() == '=') {
      ++pos_;
    } else if ((Peek() == '~' || Peek() == '|' || Peek() == '^' || Peek() == '$' || Peek() == '*') && Peek(1) == '=') {
      pos_ += 2;
    } else {
      return false;
    }
    SkipWhitespace();
    if (Peek() == '"' || Peek() == '\'') {
      if (!ReadString()) return false;
    } else if (!ReadIdent()) {
      return false;
    }
    SkipWhitespace();
    if (Peek() == 'i' || Peek() == 'I' || Peek() == 's' || Peek() == 'S') {
      ++pos_;
      SkipWhitespace();
    }
    if (Peek() != ']') return false;
    ++pos_;
    return true;
  }

  // The an+b of :nth-child() and friends, up to the ")" or " of".
  bool ReadNth() {
    SkipWhitespace();
    const std::size_t start = pos_;
    if (IsNameStart(Peek()) || Peek() == '-') {
      std::string ident;
      if (ReadIdent(&ident)) {
        ident = Lower(ident);
        if (ident == "odd" || ident == "even") return true;
        pos_ = start;
      }
    }
    if (Peek() == '+' || Peek() == '-') ++pos_;
    bool digits = false;
    while (IsDigit(Peek())) {
      ++pos_;
      digits = true;
    }
    if (Peek() != 'n' && Peek() != 'N') return digits;
    ++pos_;
    SkipWhitespace();
    if (Peek() == '+' || Peek() == '-') {
      ++pos_;
      SkipWhitespace();
      if (!IsDigit(Peek())) return false;
      while (IsDigit(Peek())) ++pos_;
    }
    return true;
  }

  // A pseudo-class or pseudo-element after ":"; `element` tells which.
  bool ReadPseudo(int depth, bool& element) {
    ++pos_;  // ":"
    element = false;
    if (Peek() == ':') {
      // Pseudo-elements: only the ones an element-hiding rule can mean.
      ++pos_;
      std::string name;
      if (!ReadIdent(&name)) return false;
      name = Lower(name);
      element = true;
      return name == "before" || name == "after" || name == "marker";
    }
    std::string name;
    if (!ReadIdent(&name)) return false;
    name = Lower(name);
    if (Peek() != '(') {
      element = name == "before" || name == "after";
      return Known(name);
    }
    ++pos_;  // "("
    bool ok = false;
    if (name == "not" || name == "is" || name == "where") {
      ok = ReadList(depth + 1, false);
    } else if (name == "has") {
      // :has() does not nest, and takes relative selectors.
      if (!in_has_) {
        in_has_ = true;
        ok = ReadList(depth + 1, true);
        in_has_ = false;
      }
    } else if (name == "nth-child" || name == "nth-last-child") {
      ok = ReadNth();
      SkipWhitespace();
      if (ok && (Peek() == 'o' || Peek() == 'O')) {
        std::string of;
        ok = ReadIdent(&of) && Lower(of) == "of" && IsWhitespace(Peek()) && ReadList(depth + 1, false);
      }
    } else if (name == "nth-of-type" || name == "nth-last-of-type") {
      ok = ReadNth();
    } else if (name == "lang") {
      SkipWhitespace();
      ok = Peek() == '"' || Peek() == '\'' ? ReadString() : ReadIdent();
    } else if (name == "dir") {
      SkipWhitespace();
      std::string dir;
      ok = ReadIdent(&dir) && (Lower(dir) == "ltr" || Lower(dir) == "rtl");
    }
    SkipWhitespace();
    if (!ok || Peek() != ')') return false;
    ++pos_;
    return true;
  }

  // A compound selector; `element` tells whether it ends in a
  // pseudo-element, after which nothing may follow.
  bool ReadCompound(int depth, bool& element) {
    bool any = false;
    element = false;
    if (Peek() == '*') {
      ++pos_;
      any = true;
    } else if (IsNameStart(Peek()) || Peek() == '-' || Peek() == '\\') {
      if (!ReadIdent()) return false;
      any = true;
    }
    if (Peek() == '|') return false;  // namespaces
    while (!AtEnd()) {
      const char c = s_[pos_];
      if ((c == '#' || c == '.' || c == '[' || c == ':') && element) return false;
      if (c == '#' || c == '.') {
        ++pos_;
        if (!ReadIdent()) return false;
      } else if (c == '[') {
        if (!ReadAttribute()) return false;
      } else if (c == ':') {
        if (!ReadPseudo(depth, element)) return false;
      } else {
        break;
      }
      any = true;
    }
    return any;
  }

  // compound (combinator compound)*; a relative selector may begin with a
  // combinator.
  bool ReadComplex(int depth, bool relative) {
    SkipWhitespace();
    if (relative && (Peek() == '>' || Peek() == '+' || Peek() == '~')) {
      ++pos_;
      SkipWhitespace();
    }
    bool element = false;
    if (!ReadCompound(depth, element)) return false;
    while (true) {
      const std::size_t before = pos_;
      SkipWhitespace();
      const bool blank = pos_ > before;
      const char c = Peek();
      if (c == '>' || c == '+' || c == '~') {
        if (element) return false;
        ++pos_;
        SkipWhitespace();
        if (!ReadCompound(depth, element)) return false;
      } else if (blank && c != ',' && c != ')' && !AtEnd()) {
        if (element) return false;
        if (!ReadCompound(depth, element)) return false;
      } else {
        return true;
      }
    }
  }

  bool ReadList(int depth, bool relative) {
    if (depth > kMaxNesting) return false;
    while (true) {
      if (!ReadComplex(depth, relative)) return false;
      SkipWhitespace();
      if (Peek() != ',') return true;
      ++pos_;
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  bool in_has_ = false;
};

}  // namespace

bool IsProceduralSelector(std::string_view selector) {
  static constexpr std::array<std::string_view, 18> kProcedural = {
      ":-abp-",        ":has-text(",      ":contains(",   ":xpath(",       ":upward(",    ":remove(",
      ":style(",       ":matches-css",    ":min-text-length(", ":watch-attr(", ":others(", ":matches-path(",
      ":if(",          ":if-not(",        ":nth-ancestor(",    ":matches-attr(", ":matches-prop(",
      ":remove-attr("};
  const std::string lower = Lower(selector);
  for (std::string_view p : kProcedural) {
    if (lower.find(p) != std::string::npos) return true;
  }
  return false;
}

bool IsEngineSelector(std::string_view selector) {
  if (selector.empty() || selector.size() > kMaxSelectorLength) return false;
  for (const char c : selector) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7f) return false;
  }
  if (selector.find("/*") != std::string_view::npos) return false;
  SelectorReader reader(selector);
  return reader.ReadWholeList();
}

}  // namespace nuve::core
