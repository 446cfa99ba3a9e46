#include "core/downloads/download_names.h"

#include <array>
#include <cstdio>
#include <system_error>

#include <glib.h>

namespace nuve::core {
namespace {

constexpr std::size_t kMaxNameBytes = 200;
constexpr char kFallbackName[] = "下载";

// Cuts `text` to at most `max` bytes at a character boundary.
std::string CutUtf8(std::string text, std::size_t max) {
  if (text.size() <= max) return text;
  std::size_t end = max;
  // Step back over continuation bytes (10xxxxxx) to the start of a character.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

// Splits "a.tar.gz" into "a" and ".tar.gz", "b.txt" into "b" and ".txt".
std::pair<std::string, std::string> SplitExtension(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {name, ""};
  auto stem_end = dot;
  const auto inner = name.rfind('.', dot - 1);
  if (inner != std::string::npos && inner > 0 && name.compare(inner, dot - inner, ".tar") == 0) stem_end = inner;
  return {name.substr(0, stem_end), name.substr(stem_end)};
}

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

}  // namespace

std::string SafeDownloadName(std::string_view suggested) {
  std::string name(suggested);
  // Servers may send a path; only its last part is a file name (both slash kinds).
  if (const auto slash = name.find_last_of("/\\"); slash != std::string::npos) name.erase(0, slash + 1);
  if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
    gchar* valid = g_utf8_make_valid(name.data(), static_cast<gssize>(name.size()));
    name = valid;
    g_free(valid);
  }
  std::string clean;
  for (unsigned char c : name) {
    clean += (c < 0x20 || c == 0x7F) ? '_' : static_cast<char>(c);
  }
  // Surrounding blanks and dots are dropped: no hidden files, no "..".
  const auto first = clean.find_first_not_of(" .");
  if (first == std::string::npos) return kFallbackName;
  clean.erase(0, first);
  clean.erase(clean.find_last_not_of(' ') + 1);
  clean = CutUtf8(std::move(clean), kMaxNameBytes);
  return clean.empty() ? kFallbackName : clean;
}

std::filesystem::path UniqueDownloadPath(const std::filesystem::path& folder, const std::string& name,
                                         const std::function<bool(const std::filesystem::path&)>& taken) {
  const auto [stem, extension] = SplitExtension(name);
  for (int n = 0;; ++n) {
    const std::string candidate = n == 0 ? name : stem + " (" + std::to_string(n) + ")" + extension;
    const std::filesystem::path path = folder / candidate;
    if (Exists(path) || Exists(PartialDownloadPath(path))) continue;
    if (taken && taken(path)) continue;
    return path;
  }
}

std::filesystem::path PartialDownloadPath(const std::filesystem::path& final_path) {
  std::filesystem::path part = final_path;
  part += ".part";
  return part;
}

std::string ByteSizeText(std::uint64_t bytes) {
  static constexpr std::array<const char*, 4> kUnits = {"KB", "MB", "GB", "TB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024.0;
  std::size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < kUnits.size()) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 10.0 && unit >= 1 ? "%.2f %s" : "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string SpeedText(double bytes_per_second) {
  if (!(bytes_per_second > 0)) bytes_per_second = 0;
  return ByteSizeText(static_cast<std::uint64_t>(bytes_per_second)) + "/s";
}

}  // namespace nuve::core
