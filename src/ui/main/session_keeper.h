#pragma once
// Keeps the restore list in step with the tab strip: a moment after the tabs
// change (opened, closed, moved, navigated) the whole list goes to the
// session store, and once more when the window closes. It also puts a
// saved list back into a fresh strip.

#include <sigc++/sigc++.h>

#include "core/session/session_store.h"

namespace nuve::ui {

class TabStrip;

class SessionKeeper : public sigc::trackable {
 public:
  SessionKeeper(TabStrip& strip, core::SessionStore& store);
  // Saves the tabs as they are now.
  ~SessionKeeper();
  SessionKeeper(const SessionKeeper&) = delete;
  SessionKeeper& operator=(const SessionKeeper&) = delete;

  // Reopens `list`'s tabs in order (the first one in the strip's first tab),
  // each with its back/forward list, and makes its current tab current.
  // Returns false, changing nothing, for an empty list.
  bool Restore(const core::SessionList& list);

  core::SessionList Collect() const;
  void SaveNow();

 private:
  void Schedule();

  TabStrip& strip_;
  core::SessionStore& store_;
  sigc::connection timer_;
  bool restoring_ = false;
};

}  // namespace nuve::ui
