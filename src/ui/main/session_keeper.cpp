#include "ui/main/session_keeper.h"

#include <glibmm/main.h>

#include "ui/main/tab_strip.h"

namespace nuve::ui {
namespace {
// Tabs change in bursts (a page commits, then its title comes): one write for them.
constexpr unsigned kSaveDelayMs = 300;
}  // namespace

SessionKeeper::SessionKeeper(TabStrip& strip, core::SessionStore& store) : strip_(strip), store_(store) {
  strip_.signal_tabs_changed().connect(sigc::mem_fun(*this, &SessionKeeper::Schedule));
  strip_.signal_current_changed().connect([this](BrowserTab&, bool) { Schedule(); });
}

SessionKeeper::~SessionKeeper() {
  if (timer_.connected()) timer_.disconnect();
  SaveNow();
}

void SessionKeeper::Schedule() {
  if (restoring_ || timer_.connected()) return;
  timer_ = Glib::signal_timeout().connect(
      [this] {
        SaveNow();
        return false;
      },
      kSaveDelayMs);
}

core::SessionList SessionKeeper::Collect() const {
  core::SessionList list;
  int index = 0;
  for (BrowserTab* tab : strip_.Tabs()) {
    if (tab == &strip_.CurrentTab()) list.current = index;
    list.tabs.push_back({tab->Uri(), tab->Title(), tab->SessionState()});
    ++index;
  }
  return list;
}

void SessionKeeper::SaveNow() {
  timer_.disconnect();
  store_.Save(Collect());
}

bool SessionKeeper::Restore(const core::SessionList& list) {
  if (list.tabs.empty()) return false;
  restoring_ = true;
  for (size_t i = 0; i < list.tabs.size(); ++i) {
    BrowserTab& tab = i == 0 ? strip_.FirstTab() : strip_.AppendEmptyTab();
    tab.Restore(list.tabs[i].uri, list.tabs[i].state);
  }
  strip_.SelectTab(list.current);
  restoring_ = false;
  Schedule();
  return true;
}

}  // namespace nuve::ui
