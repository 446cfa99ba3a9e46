#pragma once
// Converts a filter list in Adblock Plus syntax (EasyList, EasyPrivacy,
// EasyList China, a user's own list) into the web engine's content-blocker
// JSON. Start reading at ConvertFilterList.
//
// Order matters to the engine: an "ignore-previous-rules" rule cancels only
// the rules before it. The rules are written in phases, so that every
// exception follows what it excepts:
//   1. generic element hiding          6. "@@" network exceptions
//   2. $generichide and $elemhide      7. $important blocking filters
//      exceptions to it                8. element hiding for certain sites
//   3. blocking filters without a      9. $elemhide exceptions to it
//      type option                    10. $document exceptions (whole pages)
//   4. blocking filters with types
//   5. blocking filters for pages
// Generic hiding comes before every exception because only then does the
// engine parse it once per process, as one style sheet that every page
// shares, instead of once for every page; the exceptions to it match every
// load of their pages, since the engine adds that sheet at any load of a
// page that no exception matched.
// "#@#" exceptions are resolved while converting: the excepted selector is
// left out for the sites the exception names. Hiding selectors that apply
// to the same sites are joined into one rule, which keeps the list small for
// the engine's compiler.
//
// What the engine cannot express is skipped and counted by kind. The output
// depends only on the input: the same list gives the same bytes.

#include <cstddef>
#include <map>
#include <stop_token>
#include <string>
#include <string_view>

namespace nuve::core {

// The engine refuses lists with more rules than this.
inline constexpr std::size_t kMaxEngineRules = 150000;

struct ConvertOptions {
  // Rules the output may hold at most; filters beyond it are skipped as
  // "limit" (blocking and hiding filters go first, exceptions never).
  std::size_t max_rules = kMaxEngineRules;
  // Selectors joined into one hiding rule at most.
  std::size_t selectors_per_rule = 256;
  // A stop request ends the conversion early; the result is then partial
  // and `stopped` says so.
  std::stop_token stop;
};

struct ConvertedFilterList {
  // The rule list ("[...]"); "" when the list held nothing to convert, since
  // the engine refuses an empty list.
  std::string json;
  std::size_t rule_count = 0;       // rules in json
  std::size_t filter_count = 0;     // filters read (comments and blanks aside)
  std::size_t converted_count = 0;  // filters that became rules
  // Filters skipped, by kind ("scriptlet", "procedural", "csp", "redirect",
  // "removeparam", "option", "object", "regex", "selector", "domain",
  // "pattern", "malformed", "limit", …).
  std::map<std::string, std::size_t> skipped;
  std::string title;  // the list's "! Title:" line, "" when it has none
  bool stopped = false;

  std::size_t SkippedCount() const;
};

// Converts the text of one filter list. Lines may end in "\n", "\r\n" or
// "\r"; a byte-order mark is ignored. Any bytes are accepted: what cannot
// be read is counted as skipped.
ConvertedFilterList ConvertFilterList(std::string_view text, const ConvertOptions& options = {});

}  // namespace nuve::core
