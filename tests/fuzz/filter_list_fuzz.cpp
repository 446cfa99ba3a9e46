// Converts arbitrary bytes as a filter list and checks that whatever comes
// out is a rule list the web engine takes: JSON that parses, an array of at
// most the allowed number of rules, url filters (and top-url conditions) of
// the engine's regex subset, lower-case ASCII domains, one condition per
// rule, known resource types and actions, and selectors the engine parses.
// The same input always gives the same bytes. The input is also tried as
// the body of a /regex/ rule.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/content_blocking/css_selector.h"
#include "core/content_blocking/filter_list_converter.h"
#include "core/content_blocking/url_filter_regex.h"

using nuve::core::ConvertedFilterList;
using nuve::core::ConvertFilterList;
using nuve::core::ConvertOptions;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckDomains(const nlohmann::json& list) {
  Require(list.is_array() && !list.empty());
  for (const auto& item : list) {
    Require(item.is_string());
    const std::string domain = item.get<std::string>();
    Require(!domain.empty());
    for (const char c : domain) Require(static_cast<unsigned char>(c) < 0x80 && !(c >= 'A' && c <= 'Z'));
  }
}

void CheckRule(const nlohmann::json& rule) {
  static const std::set<std::string> kTypes = {"top-document", "child-document", "image", "style-sheet",
                                               "script",       "font",           "media", "svg-document",
                                               "popup",        "ping",           "fetch", "websocket",
                                               "other"};
  const auto& trigger = rule.at("trigger");
  Require(nuve::core::IsEngineUrlFilter(trigger.at("url-filter").get<std::string>()));
  if (trigger.contains("resource-type")) {
    Require(!trigger["resource-type"].empty());
    for (const auto& t : trigger["resource-type"]) Require(kTypes.count(t.get<std::string>()) == 1);
  }
  if (trigger.contains("load-type")) {
    const std::string party = trigger["load-type"].at(0).get<std::string>();
    Require(party == "third-party" || party == "first-party");
  }
  int conditions = 0;
  for (const char* key : {"if-domain", "unless-domain"}) {
    if (!trigger.contains(key)) continue;
    ++conditions;
    CheckDomains(trigger[key]);
  }
  if (trigger.contains("if-top-url")) {
    ++conditions;
    Require(!trigger["if-top-url"].empty());
    for (const auto& url : trigger["if-top-url"]) Require(nuve::core::IsEngineUrlFilter(url.get<std::string>()));
  }
  Require(conditions <= 1);
  const auto& action = rule.at("action");
  const std::string type = action.at("type").get<std::string>();
  if (type == "css-display-none") {
    Require(nuve::core::IsEngineSelector(action.at("selector").get<std::string>()));
  } else {
    Require(type == "block" || type == "ignore-previous-rules");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ConvertOptions options;
  options.max_rules = 64;
  options.selectors_per_rule = 4;
  const ConvertedFilterList list = ConvertFilterList(text, options);
  Require(list.rule_count <= options.max_rules);
  Require(list.converted_count + list.SkippedCount() <= list.filter_count);
  if (list.json.empty()) {
    Require(list.rule_count == 0);
  } else {
    const nlohmann::json rules = nlohmann::json::parse(list.json, nullptr, false);
    Require(!rules.is_discarded() && rules.is_array() && rules.size() == list.rule_count);
    for (const auto& rule : rules) CheckRule(rule);
  }
  Require(ConvertFilterList(text, options).json == list.json);

  std::vector<std::string> patterns;
  if (nuve::core::TranslateFilterRegex(text, patterns)) {
    Require(!patterns.empty());
    for (const std::string& p : patterns) Require(nuve::core::IsEngineUrlFilter(p));
  } else {
    Require(patterns.empty());
  }
  return 0;
}
