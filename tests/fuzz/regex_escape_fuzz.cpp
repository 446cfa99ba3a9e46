// Drives the regular-expression engine with arbitrary patterns, templates and
// subjects, and checks that every escape turns any text into a pattern that
// matches that text literally.
//
// Input layout: one flag byte, then pattern, replacement and subject separated
// by 0x01 bytes (missing parts are empty).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/util/regex_engine.h"

namespace {

std::string_view TakePart(std::string_view& rest) {
  const std::size_t cut = rest.find('\x01');
  const std::string_view part = rest.substr(0, cut);
  rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  return part;
}

void CheckLiteral(const std::string& pattern, const std::string& text) {
  nuve::core::RegexEngine literal;
  literal.Create(pattern, false, false, true);
  if (!literal.IsValid()) return;  // text that is not UTF-8 gives no pattern
  if (literal.Execute(text) < 1 || literal.MatchValue(1) != text) std::abort();
  long long offset = -1;
  literal.MatchText(1, &offset);
  if (offset != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  const unsigned flags = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string pattern(TakePart(rest));
  const std::string replacement(TakePart(rest));
  const std::string subject(rest);

  CheckLiteral(nuve::core::RegexEngine::EscapeAll(pattern), pattern);
  // With "|" left active the text is only literal when it holds none.
  const std::string joined = pattern + subject;
  if (joined.find('|') == std::string::npos) {
    CheckLiteral(nuve::core::RegexEngine::EscapeKeepAlternation(joined), joined);
  }
  nuve::core::RegexEngine wildcard;
  wildcard.Create(nuve::core::RegexEngine::WildcardToPattern(pattern));
  wildcard.Replace(subject, replacement);

  nuve::core::RegexEngine engine;
  engine.Create(pattern, flags & 1, flags & 2, flags & 4);
  const int count = engine.Execute(subject);
  for (int i = 0; i <= count + 1; ++i) {
    long long offset = 0;
    const std::string text = engine.MatchText(i, &offset);
    if (offset >= 0 && subject.compare(static_cast<std::size_t>(offset), text.size(), text) != 0) {
      std::abort();
    }
    for (int j = 0; j <= engine.SubMatchCount() + 1; ++j) engine.SubMatchText(i, j, &offset);
    engine.FirstIndex(i);
  }
  engine.Replace(subject, replacement);
  nuve::core::RegexEngine copy = engine;
  copy.Release();
  return 0;
}
