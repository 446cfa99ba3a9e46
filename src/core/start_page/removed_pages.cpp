#include "core/start_page/removed_pages.h"

#include <glib.h>

#include <algorithm>
#include <fstream>
#include <system_error>

#include "core/util/atomic_file.h"

namespace nuve::core {
namespace {

bool IsKeepable(const std::string& url) {
  return !url.empty() && url.size() <= RemovedPages::kMaxAddressBytes &&
         url.find_first_of("\r\n") == std::string::npos && url.find('\0') == std::string::npos &&
         g_utf8_validate(url.data(), static_cast<gssize>(url.size()), nullptr);
}

}  // namespace

std::vector<std::string> RemovedPages::Load() const {
  std::vector<std::string> urls;
  std::ifstream in(file_, std::ios::binary);
  if (!in) return urls;
  // Never more than the file can hold when written by Add, whatever is there.
  constexpr std::size_t kMaxBytes = kMaxEntries * (kMaxAddressBytes + 1);
  std::size_t read = 0;
  std::string line;
  while (urls.size() < max_entries_ && read < kMaxBytes && std::getline(in, line)) {
    read += line.size() + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsKeepable(line) && std::find(urls.begin(), urls.end(), line) == urls.end()) urls.push_back(line);
  }
  return urls;
}

Status RemovedPages::Add(const std::string& url) const {
  if (!IsKeepable(url)) return Error{ErrorKind::kInvalidName, "not an address to remember: " + url.substr(0, 80)};
  std::vector<std::string> urls = Load();
  if (std::find(urls.begin(), urls.end(), url) != urls.end()) return {};
  urls.push_back(url);
  if (urls.size() > max_entries_) urls.erase(urls.begin(), urls.end() - static_cast<std::ptrdiff_t>(max_entries_));
  std::string text;
  for (const std::string& u : urls) text += u + "\n";
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  return WriteFileAtomically(file_, text, 0600);
}

}  // namespace nuve::core
