#pragma once
// One line of a filter list in Adblock Plus syntax, read into what it
// means: a network filter (block or "@@" exception, with its options), an
// element-hiding filter ("##" or the "#@#" exception), nothing (blank,
// comment, header), or a filter the engine cannot express, with the kind of
// reason. Reading never fails on any input.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nuve::core {

struct NetworkFilter {
  bool exception = false;
  std::string pattern;  // as written, without "@@" and the options
  bool regex = false;   // pattern is the body of /.../
  std::uint32_t resource_types = 0;  // ResourceType bits
  enum class Party { kAny, kThirdParty, kFirstParty } party = Party::kAny;
  std::vector<std::string> domains;           // $domain=, lower-case ASCII
  std::vector<std::string> excluded_domains;  // $domain=~…
  bool match_case = false;
  bool important = false;
  // Exceptions only: the whole page ($document), its hiding filters
  // ($elemhide) or its generic hiding filters ($generichide).
  bool document = false;
  bool elemhide = false;
  bool generichide = false;
};

struct HidingFilter {
  bool exception = false;
  std::vector<std::string> domains;           // lower-case ASCII
  std::vector<std::string> excluded_domains;  // "~domain"
  std::string selector;
};

struct FilterLine {
  enum class Kind { kNothing, kNetwork, kHiding, kSkipped } kind = Kind::kNothing;
  NetworkFilter network;
  HidingFilter hiding;
  // kSkipped: why, as a short name ("scriptlet", "procedural", "csp",
  // "redirect", "removeparam", "option", "regex", "selector", "domain",
  // "malformed", …).
  std::string skip_kind;
};

// Reads one line (without its line break). Lines that are not UTF-8, hold
// a NUL byte or are longer than kMaxFilterLineLength are skipped as
// "malformed".
FilterLine ReadFilterLine(std::string_view line);

inline constexpr std::size_t kMaxFilterLineLength = 64 * 1024;

// A domain of a filter in the form the engine's conditions take: lower case,
// punycode for non-ASCII names, no dots at either end. Gives "" for a name
// that cannot be one ("example.*", "/regex/", blanks, …).
std::string EngineDomain(std::string_view domain);

}  // namespace nuve::core
