#include "core/settings/ini_file.h"

// UTF-8 text is stored as it is; no wide-character conversion is needed.
#define SI_NO_CONVERSION
#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "core/app/config.h"
#include "core/app/log.h"

namespace nuve::core {
namespace {

// Whole file as UTF-8 text; legacy GBK files are converted. "" when missing.
std::string LoadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) return bytes;
  gsize written = 0;
  gchar* converted = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8", "GBK",
                               nullptr, &written, nullptr);
  if (converted == nullptr) {
    LogWarning("ini", path.string() + " is neither UTF-8 nor GBK; reading what is valid");
    gchar* valid = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    std::string text(valid);
    g_free(valid);
    return text;
  }
  std::string text(converted, written);
  g_free(converted);
  return text;
}

bool Parse(const std::filesystem::path& path, CSimpleIniA& ini) {
  ini.SetUnicode(true);
  ini.SetMultiKey(false);
  ini.SetMultiLine(false);
  ini.SetQuotes(false);
  const std::string text = LoadText(path);
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
  Parse(path_, ini);
  // A value keeps to one line: a line break would start a new key.
  std::string one_line(value);
  for (char& c : one_line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  ini.SetValue(std::string(section).c_str(), std::string(key).c_str(), one_line.c_str());
  std::string text;
  if (ini.Save(text) < 0) return Error{ErrorKind::kIo, "cannot format " + path_.string()};

  const std::string tmp = path_.string() + ".tmp-XXXXXX";
  std::string tmp_path = tmp;
  const int fd = mkstemp(tmp_path.data());
  if (fd < 0) return Error{ErrorKind::kIo, path_.string() + ": " + std::strerror(errno)};
  fchmod(fd, owner_only_ ? 0600 : 0644);
  const char* p = text.data();
  size_t left = text.size();
  bool ok = true;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  const int saved_errno = errno;
  ::close(fd);
  if (!ok || std::rename(tmp_path.c_str(), path_.c_str()) != 0) {
    const std::string reason = std::strerror(ok ? errno : saved_errno);
    ::unlink(tmp_path.c_str());
    LogWarning("ini", "cannot write " + path_.string() + ": " + reason);
    return Error{ErrorKind::kIo, path_.string() + ": " + reason};
  }
  return {};
}

}  // namespace nuve::core
