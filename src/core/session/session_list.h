#pragma once
// The restore list: the open tabs in order (address, title and the engine's
// own record of the tab's back/forward list) and which one was current, as
// text in a key file ("session.ini"); one list per window.

#include <string>
#include <vector>

namespace nuve::core {

struct SessionTab {
  std::string uri;
  std::string title;
  std::string state;  // the engine's serialised back/forward list; may be empty

  bool operator==(const SessionTab&) const = default;
};

struct SessionList {
  std::vector<SessionTab> tabs;
  int current = 0;

  bool operator==(const SessionList&) const = default;
};

// The list as key-file text.
std::string SerializeSession(const SessionList& list);

// Several windows' lists as key-file text. The first window is written as
// a lone list is, so a file of one window reads as it always did, and a
// reader that knows one window finds the first.
std::string SerializeSessions(const std::vector<SessionList>& windows);

// Every window's list in `text`, the first first; a file written for one
// window gives one list. Windows without tabs are left out; damage is
// handled as ParseSession does.
std::vector<SessionList> ParseSessions(const std::string& text, std::string& problem);

// The list in `text`. A damaged text gives what can be read of it: tabs
// without an address are left out, and `problem` says what was wrong ("" when
// nothing was). Garbage gives an empty list.
SessionList ParseSession(const std::string& text, std::string& problem);

}  // namespace nuve::core
