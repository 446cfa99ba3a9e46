#include "ui/main/session_keeper.h"

#include <glibmm/main.h>

#include "ui/main/tab_strip.h"

namespace nuve::ui {
namespace {
// Tabs change in bursts (a page commits, then its title comes): one write for them.
constexpr unsigned kSaveDelayMs = 300;
}  // namespace

SessionKeeper::SessionKeeper(TabStrip& strip, core::SessionBook* book) : strip_(strip), book_(book) {
  if (book_ == nullptr) return;
  place_ = book_->Join();
  strip_.signal_tabs_changed().connect(sigc::mem_fun(*this, &SessionKeeper::Schedule));
  strip_.signal_current_changed().connect([this](BrowserTab&, bool) { Schedule(); });
}

SessionKeeper::~SessionKeeper() {
  if (timer_.connected()) timer_.disconnect();
  if (book_ == nullptr) return;
  SaveNow();
  book_->Leave(place_);
}

void SessionKeeper::set_restored(const core::SessionList& list) {
  if (book_ != nullptr) book_->Restoring(place_, list);
}

void SessionKeeper::Schedule() {
  if (book_ == nullptr || restoring_ || loads_pending_ || timer_.connected()) return;
  timer_ = Glib::signal_timeout().connect(sigc::track_obj(
                                              [this] {
                                                SaveNow();
                                                return false;
                                              },
                                              *this),
                                          kSaveDelayMs);
}

core::SessionList SessionKeeper::Collect() const {
  core::SessionList list;
  int index = 0;
  for (BrowserTab* tab : strip_.Tabs()) {
    if (tab == &strip_.CurrentTab()) list.current = index;
    std::string title = tab->page().Title();
    if (title.empty()) {
      const auto it = restored_titles_.find(tab->id());
      if (it != restored_titles_.end() && it->second.first == tab->page().Uri()) title = it->second.second;
    }
    list.tabs.push_back({tab->page().Uri(), std::move(title), tab->page().SessionState()});
    ++index;
  }
  return list;
}

void SessionKeeper::SaveNow() {
  timer_.disconnect();
  // Blank tabs waiting for their pages would replace the list they came from.
  if (loads_pending_ || book_ == nullptr) return;
  book_->Update(place_, Collect());
}

bool SessionKeeper::Restore(const core::SessionList& list) {
  if (!OpenTabs(list)) return false;
  LoadTabs();
  return true;
}

bool SessionKeeper::OpenTabs(const core::SessionList& list) {
  if (list.tabs.empty()) return false;
  restoring_ = true;
  pending_.clear();
  restored_titles_.clear();
  for (size_t i = 0; i < list.tabs.size(); ++i) {
    BrowserTab& tab = i == 0 ? strip_.FirstTab() : strip_.AppendEmptyTab();
    pending_.push_back({tab.id(), list.tabs[i].uri, list.tabs[i].state});
    restored_titles_[tab.id()] = {list.tabs[i].uri, list.tabs[i].title};
  }
  strip_.SelectTab(list.current);
  restoring_ = false;
  loads_pending_ = true;
  return true;
}

void SessionKeeper::LoadTabs() {
  if (!loads_pending_) return;
  restoring_ = true;
  for (const PendingTab& pending : pending_) {
    // The user may have closed one meanwhile.
    if (BrowserTab* tab = strip_.FindTab(pending.id)) tab->page().Restore(pending.uri, pending.state);
  }
  pending_.clear();
  restoring_ = false;
  loads_pending_ = false;
  Schedule();
}

}  // namespace nuve::ui
