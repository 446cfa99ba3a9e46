// Window tests run real windows and web views; they need a display (the test
// script starts Xvfb when none is set). One application is registered for the
// whole process so that GTK and gtkmm are initialised.
#include <gtest/gtest.h>
#include <gtkmm.h>

#include <string>

#include "support/private_session_bus.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (CTest's discovery) needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // No test may touch the desktop's session bus or secret store. A private
  // bus is made before anything connects to one (the application below
  // does); only tests named "...Keyring..." find a secret store on it.
  const bool keyring = std::string(::testing::GTEST_FLAG(filter)).find("Keyring") != std::string::npos;
  nuve::test::PrivateSessionBus bus(keyring);
  auto app = Gtk::Application::create("org.nuve.WindowTests", Gio::Application::Flags::NON_UNIQUE);
  app->register_application();
  return RUN_ALL_TESTS();
}
