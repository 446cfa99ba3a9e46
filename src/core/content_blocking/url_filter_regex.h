#pragma once
// The regular expressions the web engine accepts in a content rule's
// "url-filter" (and "if-top-url"), and the translation of a filter list's
// /regex/ rules into them. The engine compiles url filters into one
// automaton and knows only a small part of JavaScript's syntax: printable
// ASCII, ".", character classes, groups, "?", "*" and "+", "^" as the very
// first term and "$" as the very last. One pattern outside that set makes it
// refuse the whole list, so every pattern the converter writes passes
// IsEngineUrlFilter first.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nuve::core {

// Patterns longer than this are not written; the engine's automaton grows
// with them and no useful rule needs more.
inline constexpr std::size_t kMaxUrlFilterLength = 2048;

// Whether the engine accepts `pattern` as a url filter. Deliberately
// narrower than the engine where its behaviour is not obvious (escaped
// letters and digits, "{", "}", a "]" outside a class, empty groups and
// classes are refused), so that a pattern it allows never makes the engine
// reject a list.
bool IsEngineUrlFilter(std::string_view pattern);

// Translates the body of a filter list's /regex/ rule (JavaScript syntax,
// without the slashes) into url filters the engine accepts: "\d" and "\w"
// become classes, "(?:" a group, "{n,m}" repeated terms, and alternatives
// ("a|b") separate patterns, at most 64 of them. Gives false, and leaves
// `patterns` empty, when the expression cannot be expressed (look-arounds,
// back-references, "\b", "\s", non-ASCII text, a repeated alternative, too
// many alternatives or too long a result).
bool TranslateFilterRegex(std::string_view source, std::vector<std::string>& patterns);

}  // namespace nuve::core
