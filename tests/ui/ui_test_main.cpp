// Window tests run real windows and web views; they need a display (the test
// script starts Xvfb when none is set). One application is registered for the
// whole process so that GTK and gtkmm are initialised.
#include <gtest/gtest.h>
#include <gtkmm.h>

#include <memory>
#include <string>

#include "support/private_keyring.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (CTest's discovery) needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // No test may touch the desktop's secret store. The session bus is chosen
  // before anything connects to it (the application below does): tests
  // named "...Keyring..." get a private keyring, all others no bus at all.
  std::unique_ptr<nuve::test::PrivateKeyring> keyring;
  if (std::string(::testing::GTEST_FLAG(filter)).find("Keyring") != std::string::npos) {
    keyring = std::make_unique<nuve::test::PrivateKeyring>();
  } else {
    nuve::test::UseNoSessionBus();
  }
  auto app = Gtk::Application::create("org.nuve.WindowTests", Gio::Application::Flags::NON_UNIQUE);
  app->register_application();
  return RUN_ALL_TESTS();
}
