#pragma once
// A start page made ready before the user asks for it. A new tab's view
// needs a web process of its own, and starting one takes far longer than
// the start page itself; a window that has opened a new tab keeps one more
// page ready, off screen, already showing the start page, and the next new
// tab takes it as it is. It is made a moment after the tab before it, so
// it never competes with the page the user is looking at, and it loads
// again when what the start page shows has changed. The ready page costs a
// web process (some 40 MiB); when the system runs low on memory it goes,
// and for ten minutes new tabs start their own again.

#include <gtkmm.h>

#include <chrono>
#include <memory>
#include <string>

#include "ui/main/web_page.h"

namespace nuve::ui {

class EngineProfile;

class ReadyStartPage : public sigc::trackable {
 public:
  ReadyStartPage(EngineProfile& profile, int page_timeout_ms, std::string address);
  ~ReadyStartPage();
  ReadyStartPage(const ReadyStartPage&) = delete;
  ReadyStartPage& operator=(const ReadyStartPage&) = delete;

  // The address the ready page shows.
  const std::string& address() const { return address_; }
  // Whether a page is ready: the start page is on it and up to date.
  bool IsReady() const;
  // The ready page, for a new tab; null when none is ready (yet).
  std::unique_ptr<WebPage> Take();
  // Makes a page ready in a moment, unless there is one.
  void Prepare();
  // The favourites or the removed pages changed: the ready page loads again.
  void Refresh();
  // A page was visited: the most visited pages may have changed. The ready
  // page loads again within half a minute; visits meanwhile add nothing.
  void RefreshLater();

 private:
  void Make();
  // The page is there and on its way to the start page, or shows it.
  bool Usable() const;
  static void OnLowMemory(GMemoryMonitor*, GMemoryMonitorWarningLevel level, gpointer self) noexcept;

  EngineProfile& profile_;
  int page_timeout_ms_;
  std::string address_;
  std::unique_ptr<WebPage> page_;
  sigc::connection make_timer_;
  sigc::connection refresh_timer_;
  GMemoryMonitor* memory_monitor_ = nullptr;  // asked for with the first ready page
  gulong low_memory_handler_ = 0;
  std::chrono::steady_clock::time_point paused_until_{};
};

}  // namespace nuve::ui
