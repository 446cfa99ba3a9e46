// Feeds arbitrary bytes to the JSON document. The first line of the input is
// the path, the rest the JSON text. Besides not crashing, a few properties
// must hold on any input: both buffers have the same length, compacting twice
// changes nothing, and a query gives the same answer when repeated.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/util/json_doc.h"

using nuve::core::JsonDoc;
using nuve::core::JsonMember;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t newline = input.find('\n');
  std::string_view path = newline == std::string_view::npos ? input : input.substr(0, newline);
  std::string_view text = newline == std::string_view::npos ? input : input.substr(newline + 1);
  const bool zero_based = !path.empty() && (path.front() & 1) != 0;

  JsonDoc doc;
  const std::string value = doc.GetValue(text, path, zero_based);
  if (doc.GetValue(text, path, zero_based) != value) std::abort();

  std::vector<std::string> elements;
  if (doc.ListElements(text, true, elements) != elements.size()) std::abort();
  if (doc.PlainBuffer().size() != doc.MaskedBuffer().size()) std::abort();
  std::vector<JsonMember> members;
  if (doc.ListMembers(text, true, members) != members.size()) std::abort();
  int kind = -1;
  doc.ParseTop(text, members, elements, kind);
  if (kind != JsonDoc::kKindObject && kind != JsonDoc::kKindArray) std::abort();

  const std::string compact = doc.Compact(text);
  if (doc.Compact(compact) != compact) std::abort();

  if (doc.SplitPath(path) != doc.PathSegments().size()) std::abort();
  doc.NormalisePath(path, 0);
  doc.NormalisePath(path, 1);
  doc.StripQuotes(text);
  doc.TrimBlanks(text);
  return 0;
}
