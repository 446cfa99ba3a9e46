#include "core/settings/ini_file.h"

// UTF-8 text is stored as it is; no wide-character conversion is needed.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <glib.h>

#include "core/app/config.h"
#include "core/app/log.h"
#include "core/util/atomic_file.h"
#include "core/util/legacy_text.h"

namespace nuve::core {
namespace {

// Whole file as UTF-8 text; legacy GBK files are converted. Missing files
// read as "". False when the file exists but cannot be read: writing over it
// then would lose every other key.
bool LoadText(const std::filesystem::path& path, std::string& text) {
  text.clear();
  gchar* contents = nullptr;
  gsize length = 0;
  GError* error = nullptr;
  // GLib reports a read error (a folder under the file's name, a disk error)
  // as an error; a stream would throw from inside its iterator.
  if (!g_file_get_contents(path.c_str(), &contents, &length, &error)) {
    const bool missing = g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT);
    if (!missing) LogWarning("ini", error->message);
    g_error_free(error);
    return missing;
  }
  text = DecodeLegacyText(std::string_view(contents, length));
  g_free(contents);
  return true;
}

// Blanks out what SimpleIni would misread. A section line without its "]"
// would not be skipped cleanly: the keys after it would land in a section
// named after the rest of the file. A NUL byte would end the file early and
// hide every key after it; it ends a line instead. A byte-order mark at the
// start of a line (files joined together carry one at each join) would
// become part of a name; it counts as a blank.
void MaskMisreadLines(std::string& text) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of(std::string_view("\r\n\0", 3), start);
    if (end == std::string::npos) end = text.size();
    std::size_t first = start;
    while (first < end) {
      if (text[first] == ' ' || text[first] == '\t') {
        ++first;
      } else if (std::string_view(text).substr(first, end - first).starts_with(kByteOrderMark)) {
        text.replace(first, kByteOrderMark.size(), kByteOrderMark.size(), ' ');
        first += kByteOrderMark.size();
      } else {
        break;
      }
    }
    if (first < end && text[first] == '[' && text.find(']', first) >= end) {
      text.replace(start, end - start, end - start, ' ');
    }
    if (end < text.size() && text[end] == '\0') text[end] = '\n';
    start = end + 1;
  }
}

bool Parse(const std::filesystem::path& path, CSimpleIniA& ini) {
  ini.SetUnicode(true);
  ini.SetMultiKey(false);
  ini.SetMultiLine(false);
  ini.SetQuotes(false);
  std::string text;
  if (!LoadText(path, text)) return false;
  MaskMisreadLines(text);
  // SimpleIni skips the other lines it cannot read; it fails only on
  // allocation.
  return ini.LoadData(text.data(), text.size()) >= 0;
}

// Why a section or key name could not be read back as written, or "". Such a
// name would be stored as something else (a key cut at "=" can replace
// another key) or not be found again, so it is never written.
std::string_view NameProblem(std::string_view name, bool is_section) {
  if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    return "holds a line break or a NUL byte";
  }
  if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
    return "is not UTF-8 text";
  }
  if (!name.empty() && (name.front() == ' ' || name.front() == '\t' || name.back() == ' ' ||
                        name.back() == '\t')) {
    return "begins or ends with a blank";
  }
  if (is_section) return name.find(']') == std::string_view::npos ? "" : "holds \"]\"";
  if (name.empty()) return "is empty";
  if (name.find('=') != std::string_view::npos) return "holds \"=\"";
  if (name.front() == ';' || name.front() == '#' || name.front() == '[' ||
      name.starts_with("\xEF\xBB\xBF")) {
    return "begins like a comment, a section or a byte-order mark";
  }
  return {};
}

// The value as one line of UTF-8: a line break would start a new key, a NUL
// byte would end the value early, and bytes that are not UTF-8 would make the
// whole file read as GBK, garbling every other key. Such bytes are read as
// GBK here, as they would be in a file of their own.
std::string StorableValue(std::string_view value) {
  std::string one_line = DecodeLegacyText(value.substr(0, value.find('\0')));
  for (char& c : one_line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return one_line;
}

// Writes the whole file through a temporary file and a rename.
Status SaveIni(const CSimpleIniA& ini, const std::filesystem::path& path, bool owner_only) {
  std::string text;
  if (ini.Save(text) < 0) return Error{ErrorKind::kIo, "cannot format " + path.string()};
  Status written = WriteFileAtomically(path, text, owner_only ? 0600 : 0644);
  if (!written.ok()) LogWarning("ini", "cannot write " + written.error().detail);
  return written;
}

}  // namespace

IniFile::IniFile(std::filesystem::path path, bool owner_only)
    : path_(std::move(path)), owner_only_(owner_only) {}

std::vector<std::pair<std::string, std::string>> IniFile::ListKeys() const {
  CSimpleIniA ini;
  std::vector<std::pair<std::string, std::string>> keys;
  if (!Parse(path_, ini)) return keys;
  CSimpleIniA::TNamesDepend sections;
  ini.GetAllSections(sections);
  sections.sort(CSimpleIniA::Entry::LoadOrder());
  for (const auto& section : sections) {
    CSimpleIniA::TNamesDepend names;
    ini.GetAllKeys(section.pItem, names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& key : names) keys.emplace_back(section.pItem, key.pItem);
  }
  return keys;
}

std::string IniFile::Read(std::string_view section, std::string_view key,
                          std::string_view fallback) const {
  CSimpleIniA ini;
  if (!Parse(path_, ini)) return std::string(fallback);
  const char* value = ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
  return value != nullptr ? std::string(value) : std::string(fallback);
}

Status IniFile::Write(std::string_view section, std::string_view key, std::string_view value) const {
  for (const auto& [name, is_section] : {std::pair{section, true}, std::pair{key, false}}) {
    if (const std::string_view problem = NameProblem(name, is_section); !problem.empty()) {
      return Error{ErrorKind::kInvalidName, path_.string() + ": the " +
                                                (is_section ? "section" : "key") + " name " +
                                                std::string(problem)};
    }
  }
  if (path_.has_parent_path() && !EnsureDirectory(path_.parent_path())) {
    return Error{ErrorKind::kIo, "cannot create the folder of " + path_.string()};
  }
  CSimpleIniA ini;
  if (!Parse(path_, ini)) {
    LogWarning("ini", "cannot read " + path_.string() + "; leaving it as it is");
    return Error{ErrorKind::kIo, path_.string() + ": cannot read the file"};
  }
  ini.SetValue(std::string(section).c_str(), std::string(key).c_str(), StorableValue(value).c_str());
  return SaveIni(ini, path_, owner_only_);
}

Status IniFile::Remove(std::string_view section, std::string_view key) const {
  std::error_code ec;
  if (!std::filesystem::exists(path_, ec)) return {};
  CSimpleIniA ini;
  if (!Parse(path_, ini)) {
    LogWarning("ini", "cannot read " + path_.string() + "; leaving it as it is");
    return Error{ErrorKind::kIo, path_.string() + ": cannot read the file"};
  }
  if (!ini.Delete(std::string(section).c_str(), std::string(key).c_str())) return {};
  return SaveIni(ini, path_, owner_only_);
}


}  // namespace nuve::core
