#pragma once
// A small regular-expression object on PCRE2 in UTF mode: create it with a
// pattern and three flags, run it over a subject, then read matches and groups
// by 1-based number, or replace all matches with a template in which $1, $2 …
// stand for the groups. Nothing here throws: a pattern that does not compile,
// or a match or group number out of range, gives "" or 0.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct pcre2_real_code_8;

namespace nuve::core {

class RegexEngine {
 public:
  // Pattern text that matches `text` with "*" as any run of characters and
  // "?" as zero or one character. "|" keeps its alternation meaning.
  static std::string WildcardToPattern(std::string_view text);
  // Every metacharacter of `text` (and the double quote) escaped.
  static std::string EscapeAll(std::string_view text);
  // The same, but "|" is left active so alternatives stay alternatives.
  static std::string EscapeKeepAlternation(std::string_view text);

  RegexEngine();
  ~RegexEngine();
  // Copies share the compiled pattern, which PCRE2 never changes after
  // compiling, and copy the last results and subject.
  RegexEngine(const RegexEngine&);
  RegexEngine& operator=(const RegexEngine&);
  RegexEngine(RegexEngine&&) noexcept;
  RegexEngine& operator=(RegexEngine&&) noexcept;

  // Drops the pattern, the results and the subject.
  void Release();
  // Compiles `pattern`, replacing any earlier one and its results. A pattern
  // that does not compile leaves the engine without an expression (logged);
  // IsValid() then reports false and every query gives "" or 0.
  void Create(const std::string& pattern, bool ignore_case = true, bool multiline = true,
              bool global = true);
  bool IsValid() const { return code_ != nullptr; }
  bool IgnoreCase() const { return ignore_case_; }
  bool Multiline() const { return multiline_; }
  bool Global() const { return global_; }

  // Finds the matches in `subject` (all of them when Global, else the first),
  // keeps them and a copy of the subject, and returns their count.
  int Execute(const std::string& subject);
  // The pattern given to Create; "" before Create or after Release.
  std::string GetPattern() const;
  // `subject` with matches replaced by `replacement` (all when Global). In the
  // template $n and $nn stand for group n ("" when it took no part), $& for
  // the match, $` and $' for the text before and after it, $$ for "$"; any
  // other "$" is literal. Gives "" when there is no valid expression.
  std::string Replace(const std::string& subject, const std::string& replacement) const;

  int MatchCount() const;
  // Text of match i (1-based); "" when out of range.
  std::string MatchValue(int i) const;
  // Text of group j of match i (both 1-based); "" when out of range or unset.
  std::string SubMatchValue(int i, int j) const;
  // Number of groups of the first match; 0 when nothing matched.
  int SubMatchCount() const;
  // 0-based character (code point) index of match i in the subject; -1 when
  // out of range.
  int FirstIndex(int i) const;
  // Text of match i; `offset`, when given, receives its 0-based byte offset
  // in the subject, or -2 when there is no such match.
  std::string MatchText(int i, long long* offset = nullptr) const;
  // Text of group j of match i; `offset` receives the group's own 0-based
  // byte offset, or -2 when the group is out of range or took no part.
  std::string SubMatchText(int i, int j, long long* offset = nullptr) const;

 private:
  struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool set = false;
  };
  struct Match {
    Span whole;
    std::vector<Span> groups;
  };
  using MatchVisitor = bool (*)(void* context, const Match& match);

  const Match* MatchAt(int i) const;
  const Span* GroupAt(int i, int j) const;
  // Runs the pattern over `subject`, calling `visit` for each match in order
  // until it returns false or the matches run out.
  void ForEachMatch(const std::string& subject, void* context, MatchVisitor visit) const;

  std::shared_ptr<pcre2_real_code_8> code_;
  std::string pattern_;
  bool ignore_case_ = true;
  bool multiline_ = true;
  bool global_ = true;
  std::vector<Match> matches_;
  std::string subject_;
};

}  // namespace nuve::core
