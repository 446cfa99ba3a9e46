#pragma once
// One rule of the web engine's content-blocker format (a trigger and an
// action) and how it is written as JSON. The converter builds these from a
// filter list; only values the engine accepts are ever put into them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nuve::core {

// The engine's resource types, as bits.
enum ResourceType : std::uint32_t {
  kTopDocument = 1u << 0,
  kChildDocument = 1u << 1,
  kImage = 1u << 2,
  kStyleSheet = 1u << 3,
  kScript = 1u << 4,
  kFont = 1u << 5,
  kMedia = 1u << 6,
  kSvgDocument = 1u << 7,
  kPopup = 1u << 8,
  kPing = 1u << 9,
  kFetch = 1u << 10,
  kWebSocket = 1u << 11,
  kOther = 1u << 12,
};
// What a filter without type options applies to: every load of a page, but
// neither the page itself nor a window it opens.
inline constexpr std::uint32_t kDefaultResourceTypes = kChildDocument | kImage | kStyleSheet | kScript | kFont |
                                                       kMedia | kSvgDocument | kPing | kFetch | kWebSocket | kOther;
inline constexpr std::uint32_t kDocumentTypes = kTopDocument | kChildDocument;

struct ContentRule {
  enum class Party { kAny, kThirdParty, kFirstParty };
  enum class Condition { kNone, kIfDomain, kUnlessDomain, kIfTopUrl };
  enum class Action { kBlock, kIgnorePreviousRules, kHide };

  std::string url_filter = ".*";
  bool case_sensitive = false;
  std::uint32_t resource_types = 0;  // 0: no "resource-type" (every type)
  Party party = Party::kAny;
  Condition condition = Condition::kNone;
  // Lower-case ASCII domains ("*" before one means it and its subdomains)
  // for the domain conditions; url filters for kIfTopUrl.
  std::vector<std::string> condition_values;
  Action action = Action::kBlock;
  std::string selector;  // kHide: a selector list the engine parses
};

// Appends `rule` as one JSON object (no separator).
void AppendContentRuleJson(const ContentRule& rule, std::string& out);

// Appends `text` as a JSON string literal. The text must be UTF-8; control
// characters are escaped.
void AppendJsonString(std::string_view text, std::string& out);

}  // namespace nuve::core
