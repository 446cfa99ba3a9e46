#pragma once
// The fixture of the account and update window tests: a main window in a
// fresh NUVE_HOME, the fake account service on 127.0.0.1, and helpers to
// find a window's controls by their form names and to wait for messages.

#include <gtest/gtest.h>
#include <gtkmm.h>

#include <memory>
#include <string>

#include "support/fake_account_service.h"
#include "window_test_support.h"

namespace nuve::test {

// The bytes of a small PNG picture.
std::string SmallPng();

class AccountWindowTest : public MainWindowTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The main window on a local page, so that no portal is loaded.
  ui::MainWindow& OpenMain();
  // The modal window opened last.
  Gtk::Window& LastModal();
  // Control `name` of `window`; fails the test when it is missing.
  template <typename T>
  T& Get(Gtk::Widget& window, const std::string& name) {
    T* widget = dynamic_cast<T*>(FindNamed(window, name));
    if (widget == nullptr) {
      ADD_FAILURE() << "no control named " << name;
      throw std::runtime_error("missing control " + name);
    }
    return *widget;
  }
  // Presses a button as a click would: an insensitive one does nothing.
  static void Press(Gtk::Button& button) {
    if (button.is_sensitive()) g_signal_emit_by_name(button.gobj(), "clicked");
  }
  // Follows the link of a label, as a click on it does.
  static void FollowLink(Gtk::Label& label) {
    gboolean handled = FALSE;
    g_signal_emit_by_name(label.gobj(), "activate-link", "link", &handled);
  }
  // Runs the main loop until `count` messages were shown.
  bool WaitForMessages(std::size_t count, int ms = 15000);
  // Logs `account` in as the login window does, on the test's thread.
  void LogIn(const std::string& account, const std::string& password);
  std::string Ini(const char* section, const char* key) const { return LoginIni().Read(section, key, "<none>"); }
  void SetIni(const char* section, const char* key, const std::string& value) const;

  std::unique_ptr<FakeAccountService> service_;
};

}  // namespace nuve::test
