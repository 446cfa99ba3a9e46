#pragma once
// The open browser windows, normal and private, in the order they opened.
// Each is owned here; once a window is hidden (closed) it is deleted from an
// idle callback, never inside its own signal, and when the last one has gone
// `on_empty` runs (the application ends). The first window may bring back
// the last run's windows, which then open too.

#include <gtkmm.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/app/command_line.h"
#include "core/util/task_scope.h"
#include "ui/main/main_window.h"

namespace nuve::ui {

class AppContext;

class BrowserWindows {
 public:
  // `added` runs for every window as it opens, `removed` just before one is
  // deleted, `on_empty` once the last one is gone.
  BrowserWindows(AppContext& context, std::function<void(MainWindow&)> added,
                 std::function<void(MainWindow&)> removed, std::function<void()> on_empty);
  ~BrowserWindows();
  BrowserWindows(const BrowserWindows&) = delete;
  BrowserWindows& operator=(const BrowserWindows&) = delete;

  // The program's first window for `start`, and the last run's other
  // windows when it brought back the first of them.
  MainWindow& OpenFirst(const core::StartRequest& start);
  // A new window; `address` loads in it ("" for a new tab's page).
  MainWindow& Open(bool is_private, const std::string& address);
  // Closes every window, keeping the normal ones' tabs for the next start.
  void CloseAll();

  std::vector<MainWindow*> windows() const;
  bool empty() const { return windows_.empty(); }

 private:
  MainWindow& Adopt(std::unique_ptr<MainWindow> window);
  void Delete(MainWindow* window);

  AppContext& context_;
  std::function<void(MainWindow&)> added_;
  std::function<void(MainWindow&)> removed_;
  std::function<void()> on_empty_;
  std::vector<std::unique_ptr<MainWindow>> windows_;
  // The deletions after a window hid die with this list.
  core::TaskScope scope_;
};

}  // namespace nuve::ui
