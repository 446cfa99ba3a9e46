#include "core/content_blocking/content_rule.h"

#include <string_view>
#include <utility>

namespace nuve::core {
namespace {

constexpr std::pair<std::uint32_t, std::string_view> kTypeNames[] = {
    {kTopDocument, "top-document"}, {kChildDocument, "child-document"}, {kImage, "image"},
    {kStyleSheet, "style-sheet"},   {kScript, "script"},                {kFont, "font"},
    {kMedia, "media"},              {kSvgDocument, "svg-document"},     {kPopup, "popup"},
    {kPing, "ping"},                {kFetch, "fetch"},                  {kWebSocket, "websocket"},
    {kOther, "other"},
};

void AppendStringArray(const std::vector<std::string>& values, std::string& out) {
  out += '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    AppendJsonString(values[i], out);
  }
  out += ']';
}

}  // namespace

void AppendJsonString(std::string_view text, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 0xf];
    } else {
      out += c;
    }
  }
  out += '"';
}

void AppendContentRuleJson(const ContentRule& rule, std::string& out) {
  out += R"({"trigger":{"url-filter":)";
  AppendJsonString(rule.url_filter, out);
  if (rule.case_sensitive) out += R"(,"url-filter-is-case-sensitive":true)";
  if (rule.resource_types != 0) {
    out += R"(,"resource-type":[)";
    bool first = true;
    for (const auto& [bit, name] : kTypeNames) {
      if ((rule.resource_types & bit) == 0) continue;
      if (!first) out += ',';
      first = false;
      AppendJsonString(name, out);
    }
    out += ']';
  }
  if (rule.party == ContentRule::Party::kThirdParty) out += R"(,"load-type":["third-party"])";
  if (rule.party == ContentRule::Party::kFirstParty) out += R"(,"load-type":["first-party"])";
  switch (rule.condition) {
    case ContentRule::Condition::kNone:
      break;
    case ContentRule::Condition::kIfDomain:
      out += R"(,"if-domain":)";
      AppendStringArray(rule.condition_values, out);
      break;
    case ContentRule::Condition::kUnlessDomain:
      out += R"(,"unless-domain":)";
      AppendStringArray(rule.condition_values, out);
      break;
    case ContentRule::Condition::kIfTopUrl:
      out += R"(,"if-top-url":)";
      AppendStringArray(rule.condition_values, out);
      break;
  }
  out += R"(},"action":{"type":)";
  switch (rule.action) {
    case ContentRule::Action::kBlock:
      out += R"("block")";
      break;
    case ContentRule::Action::kIgnorePreviousRules:
      out += R"("ignore-previous-rules")";
      break;
    case ContentRule::Action::kHide:
      out += R"("css-display-none","selector":)";
      AppendJsonString(rule.selector, out);
      break;
  }
  out += "}}";
}

}  // namespace nuve::core
