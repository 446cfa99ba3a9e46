#pragma once
// The byte-level text rules of the JSON reader: which bytes are blanks,
// compacting with string literals masked, the two trimming rules, and decoding
// a string literal. Every function runs in time linear in its input and takes
// arbitrary bytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace nuve::core {

// Length of the blank at `i`: the whitespace class of the reader (space, tab,
// line feed, vertical tab, form feed, carriage return) or the ideographic
// space U+3000 (three bytes in UTF-8); 0 when no blank starts there.
std::size_t JsonBlankLength(std::string_view s, std::size_t i);
bool IsIdeographicSpace(std::string_view s, std::size_t i);

// Decodes a whole JSON string literal (quotes included) into UTF-8, escapes
// and surrogate pairs resolved. Returns false when `raw` is not exactly one
// literal: no opening quote, or the closing quote missing or followed by more
// text. Escapes JSON does not know are kept as written; a lone surrogate
// becomes U+FFFD.
bool DecodeJsonString(std::string_view raw, std::string& out);

// Writes the compacted `text` to `plain` and, when `masked` is given, the same
// bytes with the contents of every string literal replaced by spaces. Strings
// run from an unescaped quote to the next unescaped quote (a backslash takes
// the byte after it along); an unclosed string runs to the end. Inside strings
// nothing is removed; outside, a run of blanks goes when a "]", "}" or
// closing quote stands before it or a "[", "{" or opening quote after it.
void CompactJson(std::string_view text, std::string& plain, std::string* masked);

// The global replacement by "" of `[\s　]+"|"[\s　]+|^[ 　"\t]+|[ 　"\t]+$`
// in multi-line mode: a quote goes with the blanks directly before or after
// it, and runs of spaces, ideographic spaces, tabs and quotes go at the start
// and end of every line.
std::string StripQuoteRuns(std::string_view text);
// The same for `^[ 　\t]+|[ 　\t]+$`: spaces, ideographic spaces and tabs go
// at the start and end of every line.
std::string TrimLineBlanks(std::string_view text);

}  // namespace nuve::core
