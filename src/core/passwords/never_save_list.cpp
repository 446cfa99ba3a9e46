#include "core/passwords/never_save_list.h"

#include <algorithm>

#include "core/passwords/site_origin.h"

namespace nuve::core {
namespace {

constexpr char kSection[] = "从不保存";

}  // namespace

bool NeverSaveList::Contains(std::string_view origin) const {
  // Any value counts: the key is what puts a site on the list.
  constexpr std::string_view kMissing = "\x01";
  return !origin.empty() && file_.Read(kSection, origin, kMissing) != kMissing;
}

Status NeverSaveList::Add(std::string_view origin) const {
  if (origin.empty() || SiteOriginOf(origin) != origin) {
    return Error{ErrorKind::kInvalidName, "not a site origin: " + std::string(origin)};
  }
  return file_.Write(kSection, origin, "1");
}

Status NeverSaveList::Remove(std::string_view origin) const {
  if (origin.empty()) return {};
  return file_.Remove(kSection, origin);
}

std::vector<std::string> NeverSaveList::Origins() const {
  std::vector<std::string> origins;
  for (const auto& [section, key] : file_.ListKeys()) {
    // A hand-edited line that is no origin is left out.
    if (section == kSection && SiteOriginOf(key) == key) origins.push_back(key);
  }
  std::sort(origins.begin(), origins.end());
  origins.erase(std::unique(origins.begin(), origins.end()), origins.end());
  return origins;
}

}  // namespace nuve::core
