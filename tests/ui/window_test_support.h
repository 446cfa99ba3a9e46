#pragma once
// Shared pieces of the window tests: a UiHost that records message boxes,
// a main-loop driver, and a fixture that builds a main window in a fresh
// NUVE_HOME with every preset address pointing at the local page server.

#include <gtest/gtest.h>
#include <gtkmm.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/app/command_line.h"
#include "core/settings/ini_file.h"
#include "support/page_server.h"
#include "support/temp_home.h"
#include "ui/app/app_context.h"
#include "ui/app/ui_host.h"
#include "ui/main/main_window.h"

namespace nuve::test {

class RecordingUiHost : public ui::UiHost {
 public:
  void Info(Gtk::Window*, std::string_view text) override { messages.emplace_back(text); }
  void Error(Gtk::Window*, std::string_view text, std::function<void()> on_closed) override {
    messages.emplace_back(text);
    if (on_closed) on_closed();
  }
  void Confirm(Gtk::Window*, std::string_view text, std::function<void(bool)> on_answer) override {
    messages.emplace_back(text);
    if (on_answer) on_answer(confirm_answer);
  }
  void ShowModal(std::unique_ptr<Gtk::Window> window, Gtk::Window*, std::function<void()> on_closed) override {
    modals.push_back(std::move(window));
    if (on_closed) closers.push_back(std::move(on_closed));
  }
  void ChooseSaveFile(Gtk::Window*, std::string_view title, std::string_view, const std::filesystem::path& folder,
                      std::string_view name, std::function<void(const std::filesystem::path&)> on_chosen) override {
    save_questions.push_back({std::string(title), folder, std::string(name)});
    // Answered later, as the user would: from the main loop.
    save_answers.push_back(std::move(on_chosen));
  }
  void OpenUri(std::string_view uri) override { opened.emplace_back(uri); }

  bool confirm_answer = true;  // what the user answers every question
  std::vector<std::string> messages;
  std::vector<std::string> opened;
  std::vector<std::unique_ptr<Gtk::Window>> modals;
  std::vector<std::function<void()>> closers;
  struct SaveQuestion {
    std::string title;
    std::filesystem::path folder;
    std::string name;
  };
  std::vector<SaveQuestion> save_questions;
  std::vector<std::function<void(const std::filesystem::path&)>> save_answers;
};

// Runs the default main context until `done` holds or `ms` pass.
bool RunUntil(const std::function<bool()>& done, int ms = 15000);
// Dispatches what the main context has ready (idle callbacks, queued
// events) without waiting for anything new.
void RunPending();
// Waits until `widget` is on screen: mapped, laid out and painted at least
// once, so that pointer events sent to its screen position reach it.
bool WaitUntilShown(Gtk::Widget& widget, int ms = 15000);
// Lets the desktop's double-click time pass, so that the next click counts
// as a click of its own.
void LetDoubleClickTimePass();
// Runs a script in a tab's page and waits for it to finish.
void RunScript(WebKitWebView* view, const std::string& script);
// The value of `script` in `view` as text: "" when it fails or gives no
// answer within `ms` (an answer that comes later is dropped safely).
std::string EvaluateScript(WebKitWebView* view, const std::string& script, int ms = 10000);
// What the clipboard of `widget`'s display holds as text, read the way
// another program reads it; "<…>" with the error, or "<nothing>".
std::string ClipboardText(Gtk::Widget& widget);

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Sets environment for the window (call before Open). The fixture already
  // points the version source, the account service and portal A at 127.0.0.1.
  void SetEnv(const char* name, const std::string& value);
  // Takes a variable away for the window, until the test ends.
  void ClearEnv(const char* name);
  ui::MainWindow& Open(const core::StartRequest& start = {});
  ui::MainWindow& Open(const std::string& address);

  // login.ini of the temporary NUVE_HOME.
  core::IniFile LoginIni() const { return core::IniFile(home_->path() / "login.ini", true); }

  // Waits until every task of the context has finished and what they
  // handed back to the UI thread has run: after it, a reply that would
  // change something has changed it.
  bool WaitForQuiet(int ms = 15000);
  bool WaitForTitle(const std::string& window_title, int ms = 15000);
  // The window title, and then what the window does once its first page shows.
  bool WaitForStartUp(const std::string& window_title, int ms = 15000);
  bool WaitForTabTitle(ui::BrowserTab& tab, const std::string& title, int ms = 15000);

  std::unique_ptr<TempHome> home_;
  std::unique_ptr<PageServer> pages_;
  RecordingUiHost ui_host_;
  std::unique_ptr<ui::AppContext> context_;
  std::unique_ptr<ui::MainWindow> window_;
  // What each variable the test set was before, put back at the end.
  std::vector<std::pair<std::string, std::optional<std::string>>> set_env_;
};

}  // namespace nuve::test

namespace nuve::test {

// Screen coordinates of the centre of `widget` (no window manager under Xvfb:
// the window's surface sits at the screen's origin).
bool ScreenCentre(Gtk::Widget& widget, int& x, int& y);
// Screen coordinates of the point (dx, dy) inside `widget`.
bool ScreenPoint(Gtk::Widget& widget, double dx, double dy, int& x, int& y);
// Runs xdotool with `arguments`; false when it fails.
bool XDoTool(const std::string& arguments);
// Moves the pointer to the point (dx, dy) of `widget`, or its centre, and
// then runs the xdotool `action` there ("click 1", "click 2", "mousedown 1",
// "click --repeat 2 --delay 60 1"; "" only moves).
bool PointerAt(Gtk::Widget& widget, double dx, double dy, const std::string& action);
bool PointerAtCentre(Gtk::Widget& widget, const std::string& action);

// Clicks a button at once (activate() only clicks after its press animation).
void Click(Gtk::Button& button);

// The first widget named `name` (a form name) in the tree under `root`,
// `root` included; null when there is none.
Gtk::Widget* FindNamed(Gtk::Widget& root, const std::string& name);
// The same, as a T; the test fails when it is missing or of another kind.
template <typename T>
T& Named(Gtk::Widget& root, const std::string& name) {
  auto* widget = dynamic_cast<T*>(FindNamed(root, name));
  if (widget == nullptr) {
    ADD_FAILURE() << "no widget " << name;
    throw std::runtime_error("no widget " + name);
  }
  return *widget;
}

}  // namespace nuve::test
