#include "core/content_blocking/filter_list_converter.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/content_blocking/content_rule.h"
#include "core/content_blocking/filter_rule.h"
#include "core/content_blocking/url_filter_regex.h"

namespace nuve::core {
namespace {

// "||": the start of the host or of one of its labels, whatever the scheme.
constexpr std::string_view kHostAnchor = "^[a-z][a-z0-9.+-]*://([^/?#]*\\.)?";
// "^": any character but a letter, a digit or one of "_-.%".
constexpr std::string_view kSeparatorClass = "[^A-Za-z0-9_.%-]";

// The order of the rules in the list (see the header).
enum Phase : std::size_t {
  kGenericHiding,
  kGenericHideExceptions,
  kBlockDefaultTypes,
  kBlock,
  kBlockPages,
  kExceptions,
  kImportant,
  kSiteHiding,
  kElemHideExceptions,
  kPageExceptions,
  kPhaseCount
};

struct PendingRule {
  ContentRule rule;
  std::size_t filters = 1;  // filters of the list this rule carries
};
using Phases = std::array<std::vector<PendingRule>, kPhaseCount>;

bool IsRegexSpecial(char c) { return std::string_view(".^$*+?()[]{}|\\").find(c) != std::string_view::npos; }

void AppendPercentEncoded(unsigned char c, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 0xf];
}

// The host of a "||" pattern in punycode when it is not ASCII; false when
// it cannot be converted.
bool AsciiHostPattern(std::string_view body, std::string& out) {
  const std::size_t end = std::min(body.find_first_of("/^:?*|"), body.size());
  const std::string_view host = body.substr(0, end);
  const bool ascii = std::all_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    out = std::string(body);
    return true;
  }
  const std::string host_text(host);
  std::unique_ptr<gchar, decltype(&g_free)> converted(g_hostname_to_ascii(host_text.c_str()), g_free);
  if (!converted) return false;
  out = std::string(converted.get()) + std::string(body.substr(end));
  return true;
}

// The url filter of a plain (not /regex/) pattern; "" when it has none the
// engine accepts.
std::string PlainPatternFilter(std::string_view pattern) {
  const bool host_anchor = pattern.substr(0, 2) == "||";
  const bool start_anchor = !host_anchor && !pattern.empty() && pattern.front() == '|';
  pattern.remove_prefix(host_anchor ? 2 : start_anchor ? 1 : 0);
  const bool end_anchor = !pattern.empty() && pattern.back() == '|';
  if (end_anchor) pattern.remove_suffix(1);
  std::string body;
  if (host_anchor) {
    if (!AsciiHostPattern(pattern, body)) return {};
  } else {
    body = std::string(pattern);
  }
  std::string out;
  if (host_anchor) out = kHostAnchor;
  if (start_anchor) out = "^";
  bool in_host = host_anchor;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    const bool last = i + 1 == body.size();
    if (c == '*') {
      if (out.size() < 2 || out.compare(out.size() - 2, 2, ".*") != 0) out += ".*";
    } else if (c == '^') {
      // After the host something always follows (the engine sees "/" at
      // least); elsewhere a final "^" may also be the end of the address.
      if (!last || in_host) {
        out += kSeparatorClass;
      } else if (end_anchor) {
        out += std::string(kSeparatorClass) + "?";
      } else {
        out += "(" + std::string(kSeparatorClass) + ".*)?$";
      }
    } else if (c == '|') {
      return {};  // an anchor in the middle
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      AppendPercentEncoded(static_cast<unsigned char>(c), out);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      return {};
    } else {
      if (c == '/' || c == '?' || c == '#') in_host = false;
      if (IsRegexSpecial(c)) out += '\\';
      out += c;
    }
  }
  if (end_anchor && (out.empty() || out.back() != '$')) out += '$';
  // ".*" at either end of an unanchored filter changes nothing.
  while (out.size() > 2 && out.compare(0, 2, ".*") == 0) out.erase(0, 2);
  while (out.size() > 2 && out.compare(out.size() - 2, 2, ".*") == 0 && out[out.size() - 3] != '\\') {
    out.resize(out.size() - 2);
  }
  if (out.empty()) out = ".*";
  if (out.size() > kMaxUrlFilterLength || !IsEngineUrlFilter(out)) return {};
  return out;
}

// The url filters of a network filter's pattern; the skip kind when there
// are none.
std::string PatternFilters(const NetworkFilter& filter, std::vector<std::string>& filters) {
  filters.clear();
  if (filter.regex) return TranslateFilterRegex(filter.pattern, filters) ? "" : "regex";
  std::string one = PlainPatternFilter(filter.pattern);
  if (one.empty()) return "pattern";
  filters.push_back(std::move(one));
  return {};
}

bool IsSameOrSubdomain(const std::string& domain, const std::string& parent) {
  if (domain == parent) return true;
  return domain.size() > parent.size() && domain.compare(domain.size() - parent.size(), parent.size(), parent) == 0 &&
         domain[domain.size() - parent.size() - 1] == '.';
}

std::vector<std::string> WithSubdomains(const std::vector<std::string>& domains) {
  std::vector<std::string> out;
  out.reserve(domains.size());
  for (const std::string& d : domains) out.push_back("*" + d);
  return out;
}

// Sets the domain condition of `rule`; false when the domains cannot be
// expressed (an excluded site inside an included one: the engine takes one
// condition per rule).
bool SetDomainCondition(const std::vector<std::string>& included, const std::vector<std::string>& excluded,
                        ContentRule& rule) {
  if (!included.empty()) {
    for (const std::string& e : excluded) {
      for (const std::string& i : included) {
        if (IsSameOrSubdomain(e, i)) return false;
      }
    }
    rule.condition = ContentRule::Condition::kIfDomain;
    rule.condition_values = WithSubdomains(included);
  } else if (!excluded.empty()) {
    rule.condition = ContentRule::Condition::kUnlessDomain;
    rule.condition_values = WithSubdomains(excluded);
  }
  return true;
}

ContentRule::Party PartyOf(NetworkFilter::Party party) {
  switch (party) {
    case NetworkFilter::Party::kThirdParty:
      return ContentRule::Party::kThirdParty;
    case NetworkFilter::Party::kFirstParty:
      return ContentRule::Party::kFirstParty;
    case NetworkFilter::Party::kAny:
      break;
  }
  return ContentRule::Party::kAny;
}

// Element hiding, gathered over the whole list before it is written, since
// a "#@#" exception anywhere in the list takes selectors out of rules that
// come before it.
class HidingCollector {
 public:
  void Add(HidingFilter filter) {
    if (filter.exception) {
      if (!filter.excluded_domains.empty()) {
        ++skipped_domain_;
        return;
      }
      if (filter.domains.empty()) {
        excepted_everywhere_.insert(filter.selector);
      } else {
        auto& sites = excepted_on_[filter.selector];
        sites.insert(sites.end(), filter.domains.begin(), filter.domains.end());
      }
      ++exceptions_;
      return;
    }
    filters_.push_back(std::move(filter));
  }

  // Writes the hiding rules into their phases; gives the filters that
  // could not be expressed.
  std::size_t Write(std::size_t selectors_per_rule, Phases& phases) {
    std::size_t skipped = skipped_domain_;
    for (HidingFilter& filter : filters_) {
      if (excepted_everywhere_.count(filter.selector) != 0) continue;
      const auto excepted = excepted_on_.find(filter.selector);
      if (filter.domains.empty()) {
        std::vector<std::string> excluded = filter.excluded_domains;
        if (excepted != excepted_on_.end()) {
          excluded.insert(excluded.end(), excepted->second.begin(), excepted->second.end());
        }
        AddToGroup(generic_, std::move(excluded), std::move(filter.selector));
        continue;
      }
      ContentRule probe;
      if (!SetDomainCondition(filter.domains, filter.excluded_domains, probe)) {
        ++skipped;
        continue;
      }
      std::vector<std::string> sites;
      for (std::string& site : filter.domains) {
        const bool dropped = excepted != excepted_on_.end() &&
                             std::any_of(excepted->second.begin(), excepted->second.end(),
                                         [&](const std::string& e) { return IsSameOrSubdomain(site, e); });
        if (!dropped) sites.push_back(std::move(site));
      }
      if (!sites.empty()) AddToGroup(site_specific_, std::move(sites), std::move(filter.selector));
    }
    WriteGroups(generic_, false, selectors_per_rule, phases[kGenericHiding]);
    WriteGroups(site_specific_, true, selectors_per_rule, phases[kSiteHiding]);
    return skipped;
  }

  std::size_t exceptions() const { return exceptions_; }

 private:
  // Selectors that apply to the same set of sites, in the order the list
  // first names them.
  struct Group {
    std::vector<std::string> domains;
    std::vector<std::string> selectors;
    std::set<std::string> seen;
  };
  struct Groups {
    std::vector<Group> groups;
    std::unordered_map<std::string, std::size_t> index;
  };

  static void AddToGroup(Groups& groups, std::vector<std::string> domains, std::string selector) {
    std::sort(domains.begin(), domains.end());
    domains.erase(std::unique(domains.begin(), domains.end()), domains.end());
    std::string key;
    for (const std::string& d : domains) key += d + ',';
    auto [it, inserted] = groups.index.emplace(key, groups.groups.size());
    if (inserted) groups.groups.push_back(Group{std::move(domains), {}, {}});
    Group& group = groups.groups[it->second];
    if (group.seen.insert(selector).second) group.selectors.push_back(std::move(selector));
  }

  static void WriteGroups(const Groups& groups, bool site_specific, std::size_t per_rule,
                          std::vector<PendingRule>& out) {
    per_rule = std::max<std::size_t>(per_rule, 1);
    for (const Group& group : groups.groups) {
      for (std::size_t first = 0; first < group.selectors.size(); first += per_rule) {
        PendingRule pending;
        ContentRule& rule = pending.rule;
        rule.action = ContentRule::Action::kHide;
        const std::size_t last = std::min(first + per_rule, group.selectors.size());
        for (std::size_t k = first; k < last; ++k) {
          if (k > first) rule.selector += ", ";
          rule.selector += group.selectors[k];
        }
        pending.filters = last - first;
        if (!group.domains.empty()) {
          rule.condition = site_specific ? ContentRule::Condition::kIfDomain : ContentRule::Condition::kUnlessDomain;
          rule.condition_values = WithSubdomains(group.domains);
          // Triggered by the page's own load only, so that the page
          // exceptions after them cancel them.
          rule.resource_types = kDocumentTypes;
        }
        out.push_back(std::move(pending));
      }
    }
  }

  std::vector<HidingFilter> filters_;
  std::set<std::string> excepted_everywhere_;
  std::unordered_map<std::string, std::vector<std::string>> excepted_on_;
  Groups generic_;
  Groups site_specific_;
  std::size_t skipped_domain_ = 0;
  std::size_t exceptions_ = 0;
};

class Converter {
 public:
  explicit Converter(const ConvertOptions& options) : options_(options) {}

  void ReadLine(std::string_view line, ConvertedFilterList& result) {
    if (result.title.empty() && line.substr(0, 8) == "! Title:") {
      std::string_view title = line.substr(8);
      while (!title.empty() && (title.front() == ' ' || title.front() == '\t')) title.remove_prefix(1);
      while (!title.empty() && (title.back() == '\r' || title.back() == ' ')) title.remove_suffix(1);
      if (g_utf8_validate(title.data(), static_cast<gssize>(title.size()), nullptr)) result.title = std::string(title);
    }
    FilterLine filter = ReadFilterLine(line);
    switch (filter.kind) {
      case FilterLine::Kind::kNothing:
        return;
      case FilterLine::Kind::kSkipped:
        ++result.filter_count;
        ++result.skipped[filter.skip_kind];
        return;
      case FilterLine::Kind::kHiding:
        ++result.filter_count;
        hiding_.Add(std::move(filter.hiding));
        return;
      case FilterLine::Kind::kNetwork:
        ++result.filter_count;
        if (std::string skip = AddNetworkFilter(filter.network); !skip.empty()) ++result.skipped[skip];
        return;
    }
  }

  void Finish(ConvertedFilterList& result) {
    if (const std::size_t skipped = hiding_.Write(options_.selectors_per_rule, phases_); skipped > 0) {
      result.skipped["domain"] += skipped;
    }
    ApplyLimit(result);
    std::size_t rules = 0;
    std::size_t bytes = 0;
    for (const auto& phase : phases_) rules += phase.size();
    for (const auto& phase : phases_) {
      for (const PendingRule& pending : phase) {
        bytes += pending.rule.url_filter.size() + pending.rule.selector.size() + 192;
      }
    }
    result.converted_count = network_exceptions_ + hiding_.exceptions();
    if (rules == 0) {
      result.converted_count = 0;
      return;
    }
    result.json.reserve(bytes + 2);
    result.json += '[';
    auto write = [&](const ContentRule& rule) {
      if (result.rule_count > 0) result.json += ",\n";
      AppendContentRuleJson(rule, result.json);
      ++result.rule_count;
    };
    for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
      for (const PendingRule& pending : phases_[phase]) {
        write(pending.rule);
        if (pending.rule.action != ContentRule::Action::kIgnorePreviousRules) result.converted_count += pending.filters;
      }
    }
    result.json += "]\n";
  }

 private:
  std::string AddNetworkFilter(const NetworkFilter& filter) {
    std::vector<std::string> patterns;
    if (std::string skip = PatternFilters(filter, patterns); !skip.empty()) return skip;
    ContentRule rule;
    rule.case_sensitive = filter.match_case;
    rule.party = PartyOf(filter.party);
    Phase phase = kBlock;
    if (filter.exception && filter.document) {
      // The whole page and everything it loads: a condition on the page's
      // address, which cannot go together with $domain.
      if (!filter.domains.empty() || !filter.excluded_domains.empty()) return "domain";
      rule.action = ContentRule::Action::kIgnorePreviousRules;
      rule.party = ContentRule::Party::kAny;
      rule.condition = ContentRule::Condition::kIfTopUrl;
      rule.condition_values = std::move(patterns);
      phases_[kPageExceptions].push_back(PendingRule{std::move(rule), 1});
      ++network_exceptions_;
      return {};
    }
    if (!SetDomainCondition(filter.domains, filter.excluded_domains, rule)) return "domain";
    if (filter.exception) {
      rule.action = ContentRule::Action::kIgnorePreviousRules;
      if (filter.elemhide || filter.generichide) {
        AddGenericHideException(rule, patterns);
        if (!filter.elemhide) {
          ++network_exceptions_;
          return {};
        }
        // Site hiding too, which only the page's own load triggers.
        rule.resource_types = kDocumentTypes;
        phase = kElemHideExceptions;
      } else {
        rule.resource_types = filter.resource_types;
        phase = kExceptions;
      }
      ++network_exceptions_;
    } else {
      rule.resource_types = filter.resource_types;
      phase = filter.important ? kImportant : (filter.resource_types & kTopDocument) != 0 ? kBlockPages : kBlock;
      // Most filters have no type option; the limit drops them first.
      if (phase == kBlock && filter.resource_types == kDefaultResourceTypes) phase = kBlockDefaultTypes;
    }
    AddPerPattern(rule, std::move(patterns), phase);
    return {};
  }

  void AddPerPattern(const ContentRule& rule, std::vector<std::string> patterns, Phase phase) {
    for (std::size_t k = 0; k < patterns.size(); ++k) {
      PendingRule pending{rule, k == 0 ? std::size_t{1} : std::size_t{0}};
      pending.rule.url_filter = std::move(patterns[k]);
      phases_[phase].push_back(std::move(pending));
    }
  }

  // A $generichide (or $elemhide) exception to the shared generic hiding:
  // every load of a page the patterns match, whatever its type or party.
  // With $domain it cannot be a condition on the page's address, and
  // cancels generic hiding at the page's own load only.
  void AddGenericHideException(const ContentRule& exception, const std::vector<std::string>& patterns) {
    if (exception.condition != ContentRule::Condition::kNone) {
      ContentRule page_load = exception;
      page_load.resource_types = kDocumentTypes;
      AddPerPattern(page_load, patterns, kGenericHideExceptions);
      return;
    }
    ContentRule every_load;
    every_load.action = ContentRule::Action::kIgnorePreviousRules;
    every_load.condition = ContentRule::Condition::kIfTopUrl;
    every_load.condition_values = patterns;
    phases_[kGenericHideExceptions].push_back(PendingRule{std::move(every_load), 1});
  }

  // Keeps the list within the engine's limit: exceptions always stay;
  // blocking and hiding rules are dropped from the end, the plain blocking
  // filters first.
  void ApplyLimit(ConvertedFilterList& result) {
    std::size_t total = 0;
    for (const auto& phase : phases_) total += phase.size();
    if (total <= options_.max_rules) return;
    std::size_t dropped_filters = 0;
    for (const Phase phase : {kBlockDefaultTypes, kBlock, kSiteHiding, kGenericHiding, kBlockPages, kImportant}) {
      auto& rules = phases_[phase];
      while (total > options_.max_rules && !rules.empty()) {
        dropped_filters += rules.back().filters;
        rules.pop_back();
        --total;
      }
    }
    // Exceptions alone beyond the limit: the list cannot be given whole.
    if (total > options_.max_rules) {
      for (auto& phase : phases_) {
        for (const PendingRule& pending : phase) dropped_filters += pending.filters;
        phase.clear();
      }
    }
    if (dropped_filters > 0) result.skipped["limit"] += dropped_filters;
  }

  ConvertOptions options_;
  Phases phases_;
  HidingCollector hiding_;
  std::size_t network_exceptions_ = 0;
};

}  // namespace

std::size_t ConvertedFilterList::SkippedCount() const {
  std::size_t n = 0;
  for (const auto& [kind, count] : skipped) n += count;
  return n;
}

ConvertedFilterList ConvertFilterList(std::string_view text, const ConvertOptions& options) {
  ConvertedFilterList result;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Converter converter(options);
  for (std::size_t lines = 0; !text.empty(); ++lines) {
    if ((lines & 0xfff) == 0 && options.stop.stop_requested()) {
      result.stopped = true;
      return result;
    }
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    converter.ReadLine(text.substr(0, end), result);
    text.remove_prefix(end);
    if (!text.empty() && text.front() == '\r') text.remove_prefix(1);
    if (!text.empty() && text.front() == '\n') text.remove_prefix(1);
  }
  converter.Finish(result);
  return result;
}

}  // namespace nuve::core
