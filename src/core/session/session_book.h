#pragma once
// The restore lists of every open normal window, kept together: each window
// has a place (in the order the windows opened) and hands in its list
// whenever its tabs change; the store then gets every window's list at once.
// A window closed while others stay open leaves the list; the last one to
// close stays in it, and so does every window once the program is ending.

#include <cstdint>
#include <utility>
#include <vector>

#include "core/session/session_list.h"
#include "core/session/session_store.h"

namespace nuve::core {

class SessionBook {
 public:
  using Place = std::uint64_t;

  explicit SessionBook(SessionStore& store) : store_(store) {}
  SessionBook(const SessionBook&) = delete;
  SessionBook& operator=(const SessionBook&) = delete;

  // A window joins, with no tabs yet.
  Place Join();
  // What is kept for the window until it hands in its list; nothing is saved.
  void Restoring(Place place, SessionList list);
  // The window's tabs as they are now; every window's list is saved.
  void Update(Place place, SessionList list);
  // The window closes: it leaves the list unless it is the last one or the
  // program is ending.
  void Leave(Place place);
  // The program ends: windows that close from now on stay in the list.
  void KeepAll() { keep_all_ = true; }

  // The lists of the last run that windows still to open are to restore
  // (all but the first window's, which the first window restores itself).
  void set_waiting(std::vector<SessionList> lists) { waiting_ = std::move(lists); }
  std::vector<SessionList> TakeWaiting() { return std::exchange(waiting_, {}); }

 private:
  void Save();

  SessionStore& store_;
  struct Entry {
    Place place;
    SessionList list;
    bool open = true;  // false: closed while the program ends, still kept
  };
  std::vector<Entry> places_;
  Place next_ = 1;
  bool keep_all_ = false;
  std::vector<SessionList> waiting_;
};

}  // namespace nuve::core
