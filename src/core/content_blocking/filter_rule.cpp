#include "core/content_blocking/filter_rule.h"

#include <glib.h>

#include <algorithm>
#include <memory>

#include "core/content_blocking/content_rule.h"
#include "core/content_blocking/css_selector.h"

namespace nuve::core {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

FilterLine Skipped(std::string kind) {
  FilterLine line;
  line.kind = FilterLine::Kind::kSkipped;
  line.skip_kind = std::move(kind);
  return line;
}

// The characters of a hiding filter's domain list.
bool IsDomainListChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
         c == '_' || c == ',' || c == '~' || c == '*' || static_cast<unsigned char>(c) >= 0x80;
}

// Splits "a.com,~b.com" (or "a.com|~b.com") into included and excluded
// engine domains; false when one of them cannot be a domain.
bool ReadDomains(std::string_view list, char separator, std::vector<std::string>& included,
                 std::vector<std::string>& excluded) {
  while (!list.empty()) {
    const std::size_t end = std::min(list.find(separator), list.size());
    std::string_view item = Trim(list.substr(0, end));
    list.remove_prefix(std::min(end + 1, list.size()));
    if (item.empty()) continue;
    const bool negated = item.front() == '~';
    if (negated) item.remove_prefix(1);
    if (item == "*" && !negated) continue;  // "*##x" is generic
    std::string domain = EngineDomain(item);
    if (domain.empty()) return false;
    (negated ? excluded : included).push_back(std::move(domain));
  }
  return true;
}

// The element-hiding separators and what each line kind becomes.
struct Separator {
  std::string_view text;
  enum class Use { kHide, kHideException, kSkip } use;
  std::string_view skip_kind;
};
constexpr Separator kSeparators[] = {
    {"#@?#", Separator::Use::kSkip, "procedural"}, {"#@$#", Separator::Use::kSkip, "snippet"},
    {"#@%#", Separator::Use::kSkip, "scriptlet"},  {"#@#", Separator::Use::kHideException, ""},
    {"#?#", Separator::Use::kSkip, "procedural"},  {"#$#", Separator::Use::kSkip, "snippet"},
    {"#%#", Separator::Use::kSkip, "scriptlet"},   {"##", Separator::Use::kHide, ""},
};

// Reads "domains##selector" when `line` is one; false when it is a network
// filter instead.
bool ReadHidingLine(std::string_view line, FilterLine& out) {
  std::size_t at = line.find_first_of("#$");
  while (at != std::string_view::npos && line[at] == '$') {
    // "$$" and "$@$" are HTML filters of other blockers.
    if (StartsWith(line.substr(at), "$$") || StartsWith(line.substr(at), "$@$")) break;
    at = line.find_first_of("#$", at + 1);
  }
  if (at == std::string_view::npos) return false;
  const std::string_view domains = line.substr(0, at);
  if (!std::all_of(domains.begin(), domains.end(), IsDomainListChar)) return false;
  const std::string_view rest = line.substr(at);
  if (StartsWith(rest, "$$") || StartsWith(rest, "$@$")) {
    out = Skipped("html-filter");
    return true;
  }
  for (const Separator& separator : kSeparators) {
    if (!StartsWith(rest, separator.text)) continue;
    if (separator.use == Separator::Use::kSkip) {
      out = Skipped(std::string(separator.skip_kind));
      return true;
    }
    const std::string_view selector = Trim(rest.substr(separator.text.size()));
    if (StartsWith(selector, "+js(")) {
      out = Skipped("scriptlet");
    } else if (StartsWith(selector, "^")) {
      out = Skipped("html-filter");
    } else if (IsProceduralSelector(selector)) {
      out = Skipped("procedural");
    } else if (!IsEngineSelector(selector)) {
      out = Skipped("selector");
    } else {
      out.kind = FilterLine::Kind::kHiding;
      out.hiding.exception = separator.use == Separator::Use::kHideException;
      out.hiding.selector = std::string(selector);
      if (!ReadDomains(domains, ',', out.hiding.domains, out.hiding.excluded_domains)) out = Skipped("domain");
    }
    return true;
  }
  return false;
}

bool IsOptionNameChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'; }

// Whether `text` (after the last "$") reads as options: comma-separated
// names, each perhaps negated and perhaps with "=value".
bool LooksLikeOptions(std::string_view text) {
  if (text.empty()) return false;
  while (true) {
    const std::size_t end = std::min(text.find(','), text.size());
    std::string_view item = text.substr(0, end);
    if (!item.empty() && item.front() == '~') item.remove_prefix(1);
    const std::size_t eq = std::min(item.find('='), item.size());
    const std::string_view name = item.substr(0, eq);
    if (name.empty()) return false;
    for (const char c : name) {
      if (!IsOptionNameChar(AsciiLower(c))) return false;
    }
    if (end == text.size()) return true;
    text.remove_prefix(end + 1);
  }
}

// The resource type an option names; 0 when it names none.
std::uint32_t TypeOption(std::string_view name) {
  struct Entry {
    std::string_view name;
    std::uint32_t type;
  };
  static constexpr Entry kTypes[] = {
      {"script", kScript},       {"image", kImage},       {"stylesheet", kStyleSheet}, {"css", kStyleSheet},
      {"xmlhttprequest", kFetch}, {"xhr", kFetch},         {"subdocument", kChildDocument}, {"frame", kChildDocument},
      {"media", kMedia},         {"font", kFont},         {"websocket", kWebSocket},   {"popup", kPopup},
      {"ping", kPing},           {"beacon", kPing},       {"other", kOther},
  };
  for (const Entry& entry : kTypes) {
    if (entry.name == name) return entry.type;
  }
  return 0;
}

// Reads the options of a network filter into `filter`; gives the skip kind
// of an option that cannot be expressed, or "".
std::string ReadOptions(std::string_view text, NetworkFilter& filter) {
  std::uint32_t included = 0;
  std::uint32_t excluded = 0;
  bool unsupported_type = false;
  bool document = false;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(','), text.size());
    std::string_view item = Trim(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    const bool negated = !item.empty() && item.front() == '~';
    if (negated) item.remove_prefix(1);
    const std::size_t eq = std::min(item.find('='), item.size());
    std::string name(item.substr(0, eq));
    std::transform(name.begin(), name.end(), name.begin(), AsciiLower);
    const std::string_view value = eq < item.size() ? item.substr(eq + 1) : std::string_view();
    if (const std::uint32_t type = TypeOption(name); type != 0) {
      (negated ? excluded : included) |= type;
    } else if (name == "third-party" || name == "3p" || name == "first-party" || name == "1p") {
      const bool third = (name == "third-party" || name == "3p") != negated;
      filter.party = third ? NetworkFilter::Party::kThirdParty : NetworkFilter::Party::kFirstParty;
    } else if ((name == "domain" || name == "from") && !negated) {
      if (!ReadDomains(value, '|', filter.domains, filter.excluded_domains)) return "domain";
    } else if (name == "match-case" && !negated) {
      filter.match_case = true;
    } else if (name == "important" && !negated) {
      filter.important = true;
    } else if ((name == "document" || name == "doc") && !negated) {
      document = true;
    } else if ((name == "elemhide" || name == "ehide") && !negated) {
      filter.elemhide = true;
    } else if ((name == "generichide" || name == "ghide") && !negated) {
      filter.generichide = true;
    } else if (name == "all" && !negated) {
      included |= kDefaultResourceTypes | kTopDocument | kPopup;
    } else if (name == "object" || name == "object-subrequest") {
      // Plug-ins are gone; a filter only for them has nothing left to do.
      if (!negated) unsupported_type = true;
    } else if (name == "csp") {
      return "csp";
    } else if (name == "redirect" || name == "redirect-rule" || name == "rewrite") {
      return "redirect";
    } else if (name == "removeparam" || name == "queryprune") {
      return "removeparam";
    } else {
      return "option";
    }
  }
  if (!filter.exception && (filter.elemhide || filter.generichide)) return "option";
  if (filter.exception && document) {
    filter.document = true;
  } else if (document) {
    included |= kDocumentTypes;
  }
  if (unsupported_type && included == 0) return "object";
  filter.resource_types = (included != 0 ? included : kDefaultResourceTypes) & ~excluded;
  if (filter.resource_types == 0 && !filter.document && !filter.elemhide && !filter.generichide) return "option";
  return {};
}

FilterLine ReadNetworkLine(std::string_view line) {
  FilterLine out;
  out.kind = FilterLine::Kind::kNetwork;
  NetworkFilter& filter = out.network;
  if (StartsWith(line, "@@")) {
    filter.exception = true;
    line.remove_prefix(2);
  }
  std::string_view pattern = line;
  const std::size_t dollar = line.rfind('$');
  std::string skip;
  if (dollar != std::string_view::npos && LooksLikeOptions(line.substr(dollar + 1))) {
    pattern = line.substr(0, dollar);
    skip = ReadOptions(line.substr(dollar + 1), filter);
  } else {
    filter.resource_types = kDefaultResourceTypes;
  }
  if (!skip.empty()) return Skipped(std::move(skip));
  if (pattern.size() > 2 && pattern.front() == '/' && pattern.back() == '/') {
    filter.regex = true;
    pattern = pattern.substr(1, pattern.size() - 2);
  }
  filter.pattern = std::string(pattern);
  return out;
}

}  // namespace

std::string EngineDomain(std::string_view domain) {
  domain = Trim(domain);
  while (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
  while (!domain.empty() && domain.back() == '.') domain.remove_suffix(1);
  if (domain.empty() || domain.size() > 253) return {};
  std::string ascii(domain);
  const bool non_ascii =
      std::any_of(ascii.begin(), ascii.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  if (non_ascii) {
    if (!g_utf8_validate(ascii.data(), static_cast<gssize>(ascii.size()), nullptr)) return {};
    std::unique_ptr<gchar, decltype(&g_free)> converted(g_hostname_to_ascii(ascii.c_str()), g_free);
    if (!converted) return {};
    ascii = converted.get();
  }
  for (char& c : ascii) {
    c = AsciiLower(c);
    const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    if (!ok) return {};
  }
  if (ascii.find("..") != std::string::npos) return {};
  return ascii;
}

FilterLine ReadFilterLine(std::string_view raw) {
  const std::string_view line = Trim(raw);
  if (line.empty()) return {};
  if (line.size() > kMaxFilterLineLength || line.find('\0') != std::string_view::npos ||
      !g_utf8_validate(line.data(), static_cast<gssize>(line.size()), nullptr)) {
    return Skipped("malformed");
  }
  if (line.front() == '!') return {};
  if (line.front() == '[' && line.back() == ']') return {};  // "[Adblock Plus 2.0]"
  FilterLine hiding;
  if (ReadHidingLine(line, hiding)) return hiding;
  return ReadNetworkLine(line);
}

}  // namespace nuve::core
