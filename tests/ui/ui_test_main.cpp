// Window tests run real windows and web views; they need a display (the test
// script starts Xvfb when none is set). One application is registered for the
// whole process so that GTK and gtkmm are initialised.
#include <gtest/gtest.h>
#include <gtkmm.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/private_session_bus.h"
#include "support/test_environment.h"

namespace {

// A window test that crashes prints every thread's stack before it goes, so
// that a crash seen once on a busy machine can be read afterwards. The
// command is made up front: a signal handler may not allocate.
std::string crash_pid;

void PrintStacksAndDie(int signal_number) {
  const char* argv[] = {"gdb", "-p", crash_pid.c_str(), "-batch", "-nx", "-ex", "thread apply all bt 40", nullptr};
  static const char header[] = "\n*** window test crashed; the stacks follow ***\n";
  (void)!write(STDERR_FILENO, header, sizeof header - 1);
  const pid_t child = fork();
  if (child == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    execvp("gdb", const_cast<char* const*>(argv));
    _exit(127);
  }
  if (child > 0) waitpid(child, nullptr, 0);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void ReportCrashes() {
  crash_pid = std::to_string(getpid());
  prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY);
  struct sigaction action = {};
  action.sa_handler = PrintStacksAndDie;
  action.sa_flags = SA_RESETHAND;
  for (int s : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) sigaction(s, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  // Before the first thread: see test_environment.h.
  nuve::test::ReserveTestEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (CTest's discovery) needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  ReportCrashes();
  // No test may touch the desktop's session bus or secret store. A private
  // bus is made before anything connects to one (the application below
  // does); only tests named "...Keyring..." find a secret store on it.
  const bool keyring = std::string(::testing::GTEST_FLAG(filter)).find("Keyring") != std::string::npos;
  // The web process extension of this build, whatever is installed.
  setenv("NUVE_WEB_EXTENSIONS_DIR", NUVE_TEST_WEB_EXTENSIONS_DIR, 1);
  nuve::test::PrivateSessionBus bus(keyring);
  auto app = Gtk::Application::create("org.nuve.WindowTests", Gio::Application::Flags::NON_UNIQUE);
  app->register_application();
  return RUN_ALL_TESTS();
}
