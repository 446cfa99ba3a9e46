#include "core/session/session_book.h"

#include <algorithm>

namespace nuve::core {

SessionBook::Place SessionBook::Join() {
  places_.push_back(Entry{next_, {}, true});
  return next_++;
}

void SessionBook::Restoring(Place place, SessionList list) {
  const auto it = std::find_if(places_.begin(), places_.end(), [place](const Entry& e) { return e.place == place; });
  if (it != places_.end()) it->list = std::move(list);
}

void SessionBook::Update(Place place, SessionList list) {
  Restoring(place, std::move(list));
  Save();
}

void SessionBook::Leave(Place place) {
  const auto it = std::find_if(places_.begin(), places_.end(), [place](const Entry& e) { return e.place == place; });
  if (it == places_.end()) return;
  if (keep_all_) {
    // Kept for the windows still closing; what is saved holds it already.
    it->open = false;
  } else {
    places_.erase(it);
    // The last window's tabs stay saved: the next start brings them back.
    if (!places_.empty()) Save();
  }
  if (std::none_of(places_.begin(), places_.end(), [](const Entry& e) { return e.open; })) {
    // Every window is gone: a window opened later starts a new list.
    places_.clear();
    keep_all_ = false;
  }
}

void SessionBook::Save() {
  std::vector<SessionList> lists;
  for (const Entry& entry : places_) {
    if (!entry.list.tabs.empty()) lists.push_back(entry.list);
  }
  store_.SaveWindows(std::move(lists));
}

}  // namespace nuve::core
