// Writes one key into arbitrary INI files and reads the file back: every
// other key keeps its value, the written key reads back what was written, and
// a write that fails leaves the file as it was.
//
// Input layout: section, key and value separated by 0x01 bytes, then another
// 0x01 and the file's bytes.

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/settings/ini_file.h"
#include "core/util/legacy_text.h"
#include "scratch_folder.h"

namespace {

constexpr std::string_view kAbsent = "\x02" "absent" "\x02";

std::string_view TakePart(std::string_view& rest) {
  const std::size_t cut = rest.find('\x01');
  const std::string_view part = rest.substr(0, cut);
  rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  return part;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The value as it reads back: one line, without blanks around it.
std::string StoredValue(std::string_view value) {
  std::string line(value);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string section(TakePart(rest));
  const std::string key(TakePart(rest));
  const std::string value(TakePart(rest));
  const std::string_view file = rest;

  const std::filesystem::path path = nuve::fuzz::Scratch() / "settings.ini";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
  }
  const nuve::core::IniFile ini(path);
  std::vector<std::pair<std::string, std::string>> others;
  std::vector<std::string> before;
  for (auto& [s, k] : ini.ListKeys()) {
    if (SameName(s, section) && SameName(k, key)) continue;
    before.push_back(ini.Read(s, k, kAbsent));
    others.emplace_back(std::move(s), std::move(k));
  }

  const nuve::core::Status written = ini.Write(section, key, value);
  if (!written.ok()) {
    if (ReadBytes(path) != file) std::abort();
    return 0;
  }
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (ini.Read(others[i].first, others[i].second, kAbsent) != before[i]) std::abort();
  }
  const std::string stored =
      StoredValue(nuve::core::DecodeLegacyText(std::string_view(value).substr(0, value.find('\0'))));
  if (ini.Read(section, key, kAbsent) != stored) std::abort();
  return 0;
}
