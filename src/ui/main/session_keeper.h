#pragma once
// Keeps the window's restore list in step with its tab strip: a moment
// after the tabs change (opened, closed, moved, navigated) the whole list
// goes to the session book (every window's lists together), and once more
// when the window closes. A private window has no book: nothing is kept. It also puts a
// saved list back into a fresh strip, in two steps when the pages are to
// wait a moment (for the content filters): the tabs first, their loads
// later. Until the loads are issued nothing is saved, so the stored list
// stays as the last run left it.

#include <sigc++/sigc++.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/session/session_book.h"

namespace nuve::ui {

class TabStrip;

class SessionKeeper : public sigc::trackable {
 public:
  // `book` null: the tabs are never saved.
  SessionKeeper(TabStrip& strip, core::SessionBook* book);
  // Saves the tabs as they are now, and leaves the book.
  ~SessionKeeper();
  SessionKeeper(const SessionKeeper&) = delete;
  SessionKeeper& operator=(const SessionKeeper&) = delete;

  // Reopens `list`'s tabs in order (the first one in the strip's first tab),
  // each with its back/forward list, and makes its current tab current.
  // Returns false, changing nothing, for an empty list.
  bool Restore(const core::SessionList& list);
  // The first step alone: the tabs in order, the current one current, each
  // still blank. Returns false, changing nothing, for an empty list.
  bool OpenTabs(const core::SessionList& list);
  // The second step: each tab still open gets its back/forward list and
  // loads its page. Does nothing when no tabs wait.
  void LoadTabs();

  core::SessionList Collect() const;
  void SaveNow();
  // The list this window restores, kept for it until its tabs are loaded
  // (call before OpenTabs).
  void set_restored(const core::SessionList& list);

 private:
  void Schedule();

  TabStrip& strip_;
  core::SessionBook* book_;
  core::SessionBook::Place place_ = 0;
  sigc::connection timer_;
  bool restoring_ = false;
  // Tabs opened by OpenTabs whose pages are not loaded yet, by identity,
  // with the address and back/forward list each is to get.
  struct PendingTab {
    std::uint64_t id;
    std::string uri;
    std::string state;
  };
  std::vector<PendingTab> pending_;
  bool loads_pending_ = false;
  // A restored tab's saved address and title, kept for as long as its page
  // has no title of its own: a window closed while its tabs still load
  // saves what it was given, not blank titles.
  std::map<std::uint64_t, std::pair<std::string, std::string>> restored_titles_;
};

}  // namespace nuve::ui
