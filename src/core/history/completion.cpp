#include "core/history/completion.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "core/history/history_store.h"

namespace nuve::core {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string SameAddressKey(const std::string& url) {
  std::string key = Lower(url);
  if (!key.empty() && key.back() == '/') key.pop_back();
  return key;
}

}  // namespace

std::vector<Completion> MergeCompletions(const std::string& typed, const std::vector<FavouriteLink>& favourites,
                                         const std::vector<HistoryEntry>& history, std::size_t limit) {
  std::vector<Completion> rows;
  const std::string needle = Lower(StripForCompletion(typed));
  if (needle.empty()) return rows;
  std::set<std::string> seen;
  auto add = [&](const std::string& url, const std::string& title, bool favourite) {
    if (rows.size() >= limit || url.empty() || !seen.insert(SameAddressKey(url)).second) return;
    rows.push_back({url, title, favourite});
  };
  for (const auto& favourite : favourites) {
    if (Lower(favourite.name).find(needle) != std::string::npos ||
        Lower(StripForCompletion(favourite.url)).find(needle) != std::string::npos) {
      add(favourite.url, favourite.name, true);
    }
  }
  for (const auto& entry : history) add(entry.url, entry.title, false);
  return rows;
}

}  // namespace nuve::core
