#pragma once
// Which element-hiding selectors the web engine can use. The engine drops a
// hiding rule whose selector it cannot parse, and the converter puts many
// selectors into one rule, so one bad selector would silently lose all of
// its neighbours; a list whose every rule is dropped is refused outright.
// The check follows the CSS selector grammar (Selectors Level 4 as the
// engine implements it) and knows the pseudo-classes by name: a selector it
// accepts parses in the engine, and the filter lists' own extensions
// (":-abp-has", ":has-text", ":xpath", …) are refused.

#include <cstddef>
#include <string_view>

namespace nuve::core {

inline constexpr std::size_t kMaxSelectorLength = 4096;

// Whether `selector` (a selector list, as after "##") is one the engine
// parses. Refuses the empty text, anything longer than kMaxSelectorLength,
// control characters, comments and namespaces.
bool IsEngineSelector(std::string_view selector);

// Whether `selector` uses one of the filter lists' procedural extensions,
// which no style sheet can express (counted apart from plain mistakes).
bool IsProceduralSelector(std::string_view selector);

}  // namespace nuve::core
