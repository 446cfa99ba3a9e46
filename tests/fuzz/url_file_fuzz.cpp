// Reads arbitrary bytes as a favourite's .url file and checks arbitrary names
// against the favourite-name rules. Input layout: one flag byte (bit 0: the
// file was cut at the read limit), then a name, a NUL byte, and the file.
//
// What must hold: an address read from a file is one line of UTF-8 without
// surrounding blanks; what the program writes reads back; a name the rules
// accept is one file in the favourites folder that lists, reads and deletes
// under that very name, and a name they refuse writes nothing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/favourites/favourite_name.h"
#include "core/favourites/favourites_store.h"
#include "core/favourites/url_file.h"
#include "scratch_folder.h"
#include "utf8_check.h"

using namespace nuve::core;
using nuve::fuzz::IsUtf8;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void CheckAddress(const std::string& address) {
  if (!IsUtf8(address) || address.find_first_of("\r\n") != std::string::npos) std::abort();
  if (!address.empty() && (IsBlank(address.front()) || IsBlank(address.back()))) std::abort();
}

// What an address written with UrlFileContent reads back as.
std::string WrittenAddress(std::string_view address) {
  std::string line;
  for (const char c : address) line += (c == '\r' || c == '\n') ? ' ' : c;
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

void CheckStore(std::string_view name, std::string_view address) {
  const FavouritesStore store(nuve::fuzz::Scratch() / "收藏夹");
  const bool valid = CheckFavouriteName(name) == FavouriteNameFault::kNone;
  const FavouriteAdded added = store.Add(name, address);
  if (added.status.ok() != valid) std::abort();
  const auto entries = store.List();
  if (!valid) {
    if (!entries.empty()) std::abort();
    return;
  }
  if (entries.size() != 1 || entries[0].title != name || added.entry.file != entries[0].file) {
    std::abort();
  }
  const std::string expected = WrittenAddress(address);
  if (IsUtf8(address) && address.find('\0') == std::string_view::npos &&
      store.ReadAddress(entries[0]) != expected) {
    std::abort();
  }
  if (!store.Remove(entries[0]).ok() || !store.List().empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool truncated = (data[0] & 1) != 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t cut = rest.find('\0');
  const std::string_view name = rest.substr(0, cut);
  const std::string_view file = cut == std::string_view::npos ? rest : rest.substr(cut + 1);

  CheckAddress(ParseUrlFileAddress(file, truncated));
  CheckAddress(ParseUrlFileAddress(rest, truncated));
  if (IsUtf8(file) && file.find('\0') == std::string_view::npos &&
      ParseUrlFileAddress(UrlFileContent(file)) != WrittenAddress(file)) {
    std::abort();
  }
  CheckFavouriteName(rest);
  CheckStore(name, file.substr(0, 512));
  return 0;
}
