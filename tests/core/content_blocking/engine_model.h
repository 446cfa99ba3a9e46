#pragma once
// A small model of how the web engine applies a content-blocker rule list,
// so that converter tests can say what a converted list does to a load
// (blocked or not, which selectors hide elements of a page) instead of
// restating the JSON. It also checks the list against what the engine
// accepts: valid JSON, url filters of its regex subset, lower-case ASCII
// domains, selectors it parses.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/content_blocking/content_rule.h"
#include "core/content_blocking/css_selector.h"
#include "core/content_blocking/url_filter_regex.h"
#include "core/util/regex_engine.h"

namespace nuve::core::test {

struct Load {
  std::string url;
  std::string page = "http://site.test/";  // the top document
  std::uint32_t type = kScript;
};

class EngineModel {
 public:
  explicit EngineModel(const std::string& json) {
    if (json.empty()) return;
    const nlohmann::json list = nlohmann::json::parse(json);  // throws on bad JSON, failing the test
    EXPECT_TRUE(list.is_array());
    for (const auto& entry : list) rules_.push_back(ReadRule(entry));
    // The engine parses the hiding rules that apply to every load once per
    // process, as one style sheet, when they come before the first
    // ignore-previous-rules; a page gets that sheet unless its load or one
    // of its subresources' loads was excepted.
    bool before_exceptions = true;
    for (Rule& rule : rules_) {
      if (rule.action == "ignore-previous-rules") before_exceptions = false;
      rule.shared = before_exceptions && rule.action == "css-display-none" && rule.url_filter_text == ".*" &&
                    rule.types == 0 && rule.load_type.empty() && rule.condition.empty();
      if (rule.shared) {
        for (const std::string& s : SplitSelectors(rule.selector)) shared_.insert(s);
      }
    }
  }

  std::size_t size() const { return rules_.size(); }

  bool Blocks(const Load& load) const {
    bool blocked = false;
    for (const Rule& rule : rules_) {
      if (!Matches(rule, load)) continue;
      if (rule.action == "block") blocked = true;
      if (rule.action == "ignore-previous-rules") blocked = false;
    }
    return blocked;
  }
  bool Blocks(const std::string& url, std::uint32_t type = kScript,
              const std::string& page = "http://site.test/") const {
    return Blocks(Load{url, page, type});
  }

  // The selectors that hide elements of `page`: what its own load and the
  // load of an image on it gather (the engine adds both to the page), and
  // the shared sheet unless both were excepted.
  std::set<std::string> HiddenOn(const std::string& page) const {
    std::set<std::string> selectors;
    bool shared_applies = false;
    for (const std::uint32_t type : {static_cast<std::uint32_t>(kTopDocument), static_cast<std::uint32_t>(kImage)}) {
      const Load load{page, page, type};
      std::set<std::string> gathered;
      bool excepted = false;
      for (const Rule& rule : rules_) {
        if (rule.shared || !Matches(rule, load)) continue;
        if (rule.action == "ignore-previous-rules") {
          gathered.clear();
          excepted = true;
        }
        if (rule.action == "css-display-none") {
          for (const std::string& s : SplitSelectors(rule.selector)) gathered.insert(s);
        }
      }
      selectors.insert(gathered.begin(), gathered.end());
      shared_applies = shared_applies || !excepted;
    }
    if (shared_applies) selectors.insert(shared_.begin(), shared_.end());
    return selectors;
  }

  // The selectors of the style sheet the engine parses once per process.
  const std::set<std::string>& SharedHiding() const { return shared_; }

 private:
  struct Rule {
    std::shared_ptr<RegexEngine> url_filter;
    std::uint32_t types = 0;
    std::string load_type;
    std::string condition;
    std::vector<std::string> values;
    std::vector<std::shared_ptr<RegexEngine>> top_urls;
    std::string action;
    std::string selector;
    std::string url_filter_text;
    bool shared = false;  // in the style sheet shared by every page
  };

  static std::uint32_t TypeBit(const std::string& name) {
    static const std::pair<const char*, std::uint32_t> kNames[] = {
        {"top-document", kTopDocument}, {"child-document", kChildDocument}, {"image", kImage},
        {"style-sheet", kStyleSheet},   {"script", kScript},                {"font", kFont},
        {"media", kMedia},              {"svg-document", kSvgDocument},     {"popup", kPopup},
        {"ping", kPing},                {"fetch", kFetch},                  {"websocket", kWebSocket},
        {"other", kOther}};
    for (const auto& [n, bit] : kNames) {
      if (name == n) return bit;
    }
    ADD_FAILURE() << "resource type the engine does not know: " << name;
    return 0;
  }

  static std::shared_ptr<RegexEngine> Compile(const std::string& pattern, bool case_sensitive) {
    EXPECT_TRUE(IsEngineUrlFilter(pattern)) << "the engine refuses the url filter " << pattern;
    auto regex = std::make_shared<RegexEngine>();
    regex->Create(pattern, !case_sensitive, false, false);
    EXPECT_TRUE(regex->IsValid()) << pattern;
    return regex;
  }

  static Rule ReadRule(const nlohmann::json& entry) {
    Rule rule;
    const auto& trigger = entry.at("trigger");
    const bool case_sensitive = trigger.value("url-filter-is-case-sensitive", false);
    rule.url_filter_text = trigger.at("url-filter").get<std::string>();
    rule.url_filter = Compile(rule.url_filter_text, case_sensitive);
    if (trigger.contains("resource-type")) {
      for (const auto& t : trigger["resource-type"]) rule.types |= TypeBit(t.get<std::string>());
    }
    if (trigger.contains("load-type")) rule.load_type = trigger["load-type"][0].get<std::string>();
    int conditions = 0;
    for (const char* key : {"if-domain", "unless-domain", "if-top-url"}) {
      if (!trigger.contains(key)) continue;
      ++conditions;
      rule.condition = key;
      EXPECT_FALSE(trigger[key].empty());
      for (const auto& v : trigger[key]) {
        const std::string value = v.get<std::string>();
        rule.values.push_back(value);
        if (rule.condition == "if-top-url") {
          rule.top_urls.push_back(Compile(value, false));
        } else {
          for (const char c : value) EXPECT_FALSE(c >= 'A' && c <= 'Z') << "upper-case domain " << value;
          for (const char c : value) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "non-ASCII domain " << value;
        }
      }
    }
    EXPECT_LE(conditions, 1) << "the engine takes one condition per rule";
    const auto& action = entry.at("action");
    rule.action = action.at("type").get<std::string>();
    EXPECT_TRUE(rule.action == "block" || rule.action == "ignore-previous-rules" || rule.action == "css-display-none");
    if (rule.action == "css-display-none") {
      rule.selector = action.at("selector").get<std::string>();
      EXPECT_TRUE(IsEngineSelector(rule.selector)) << "the engine would drop the selector " << rule.selector;
    }
    return rule;
  }

  static std::string HostOf(const std::string& url) {
    const std::size_t start = url.find("://");
    if (start == std::string::npos) return {};
    const std::size_t end = url.find_first_of("/:?#", start + 3);
    return url.substr(start + 3, end == std::string::npos ? std::string::npos : end - start - 3);
  }
  // Two hosts are the same party when their last two labels agree.
  static std::string Site(const std::string& host) {
    const std::size_t last = host.rfind('.');
    if (last == std::string::npos || last == 0) return host;
    const std::size_t before = host.rfind('.', last - 1);
    return before == std::string::npos ? host : host.substr(before + 1);
  }
  static bool DomainMatches(const std::string& pattern, const std::string& host) {
    if (pattern.empty() || pattern[0] != '*') return host == pattern;
    const std::string domain = pattern.substr(1);
    return host == domain ||
           (host.size() > domain.size() && host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
            host[host.size() - domain.size() - 1] == '.');
  }

  static bool Matches(const Rule& rule, const Load& load) {
    if (rule.types != 0 && (rule.types & load.type) == 0) return false;
    const bool third_party = Site(HostOf(load.url)) != Site(HostOf(load.page));
    if (rule.load_type == "third-party" && !third_party) return false;
    if (rule.load_type == "first-party" && third_party) return false;
    const std::string page_host = HostOf(load.page);
    if (rule.condition == "if-domain" || rule.condition == "unless-domain") {
      bool any = false;
      for (const std::string& v : rule.values) any = any || DomainMatches(v, page_host);
      if (any != (rule.condition == "if-domain")) return false;
    }
    if (rule.condition == "if-top-url") {
      bool any = false;
      for (const auto& regex : rule.top_urls) any = any || regex->Execute(load.page) > 0;
      if (!any) return false;
    }
    return rule.url_filter->Execute(load.url) > 0;
  }

  static std::vector<std::string> SplitSelectors(const std::string& list) {
    // The converter joins selectors with ", "; selectors of the tests hold no
    // comma of their own.
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
      const std::size_t comma = list.find(", ", start);
      out.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
      if (comma == std::string::npos) return out;
      start = comma + 2;
    }
  }

  std::vector<Rule> rules_;
  std::set<std::string> shared_;
};

}  // namespace nuve::core::test
