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

bool Parse(const std::filesystem::path& path, CSimpleIniA& ini) {
  ini.SetUnicode(true);
  ini.SetMultiKey(false);
  ini.SetMultiLine(false);
  ini.SetQuotes(false);
  std::string text;
  if (!LoadText(path, text)) return false;
  // SimpleIni skips lines it cannot read; it fails only on allocation.
  return ini.LoadData(text.data(), text.size()) >= 0;
}

}  // namespace

IniFile::IniFile(std::filesystem::path path, bool owner_only)
    : path_(std::move(path)), owner_only_(owner_only) {}

std::string IniFile::Read(std::string_view section, std::string_view key,
                          std::string_view fallback) const {
  CSimpleIniA ini;
  if (!Parse(path_, ini)) return std::string(fallback);
  const char* value = ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
  return value != nullptr ? std::string(value) : std::string(fallback);
}

Status IniFile::Write(std::string_view section, std::string_view key, std::string_view value) const {
  if (path_.has_parent_path() && !EnsureDirectory(path_.parent_path())) {
    return Error{ErrorKind::kIo, "cannot create the folder of " + path_.string()};
  }
  CSimpleIniA ini;
  if (!Parse(path_, ini)) {
    LogWarning("ini", "cannot read " + path_.string() + "; leaving it as it is");
    return Error{ErrorKind::kIo, path_.string() + ": cannot read the file"};
  }
  // A value keeps to one line: a line break would start a new key.
  std::string one_line(value);
  for (char& c : one_line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  ini.SetValue(std::string(section).c_str(), std::string(key).c_str(), one_line.c_str());
  std::string text;
  if (ini.Save(text) < 0) return Error{ErrorKind::kIo, "cannot format " + path_.string()};
  Status written = WriteFileAtomically(path_, text, owner_only_ ? 0600 : 0644);
  if (!written.ok()) LogWarning("ini", "cannot write " + written.error().detail);
  return written;
}

}  // namespace nuve::core
