#include "ui/app/browser_windows.h"

#include <algorithm>

#include "core/app/address.h"
#include "ui/app/app_context.h"

namespace nuve::ui {

BrowserWindows::BrowserWindows(AppContext& context, std::function<void(MainWindow&)> added,
                               std::function<void(MainWindow&)> removed, std::function<void()> on_empty)
    : context_(context), added_(std::move(added)), removed_(std::move(removed)), on_empty_(std::move(on_empty)) {}

BrowserWindows::~BrowserWindows() {
  scope_.Cancel();
  // The newest first, so the first window's tabs are the last saved.
  while (!windows_.empty()) {
    std::unique_ptr<MainWindow> window = std::move(windows_.back());
    windows_.pop_back();
    if (removed_) removed_(*window);
  }
}

MainWindow& BrowserWindows::OpenFirst(const core::StartRequest& start) {
  MainWindow& first = Adopt(std::make_unique<MainWindow>(context_, start));
  for (core::SessionList& list : context_.session_book().TakeWaiting()) {
    WindowOptions options;
    options.first = false;
    options.restore = std::move(list);
    Adopt(std::make_unique<MainWindow>(context_, core::StartRequest{}, std::move(options)));
  }
  return first;
}

MainWindow& BrowserWindows::Open(bool is_private, const std::string& address) {
  core::StartRequest start;
  WindowOptions options;
  options.first = false;
  options.is_private = is_private;
  if (address.empty()) {
    // What a new tab shows: the saved home page, else the start page.
    start.address = context_.settings().HomePage();
    if (start.address.empty()) start.address = context_.config().portal_a;
  } else {
    start.address = address;
  }
  return Adopt(std::make_unique<MainWindow>(context_, start, std::move(options)));
}

MainWindow& BrowserWindows::Adopt(std::unique_ptr<MainWindow> owned) {
  MainWindow& window = *owned;
  windows_.push_back(std::move(owned));
  window.set_window_opener([this](bool is_private, const std::string& address) {
    Open(is_private, address).present();
  });
  window.set_quit_handler([this] { CloseAll(); });
  MainWindow* key = &window;
  window.signal_hide().connect([this, key] {
    Glib::signal_idle().connect_once(scope_.Bind([this, key] { Delete(key); }));
  });
  if (added_) added_(window);
  return window;
}

void BrowserWindows::Delete(MainWindow* window) {
  const auto it = std::find_if(windows_.begin(), windows_.end(), [window](const auto& w) { return w.get() == window; });
  if (it == windows_.end()) return;
  std::unique_ptr<MainWindow> going = std::move(*it);
  windows_.erase(it);
  if (removed_) removed_(*going);
  going.reset();
  if (windows_.empty() && on_empty_) on_empty_();
}

void BrowserWindows::CloseAll() {
  context_.session_book().KeepAll();
  for (MainWindow* window : windows()) window->close();
}

std::vector<MainWindow*> BrowserWindows::windows() const {
  std::vector<MainWindow*> list;
  for (const auto& window : windows_) list.push_back(window.get());
  return list;
}

}  // namespace nuve::ui
