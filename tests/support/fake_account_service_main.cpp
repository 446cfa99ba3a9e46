// nuve-fake-account-service: the test stand-in for the account service, on
// its own for window tests and manual trials. Point NUVE_SERVICE_HOST at the
// address it prints. It knows one account, "demo" with password "demo123".

#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "support/fake_account_service.h"

int main(int argc, char** argv) {
  int port = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else {
      std::cerr << "usage: " << argv[0] << " [--port N]\n";
      return 2;
    }
  }
  // The signals are blocked before any thread starts, so every thread
  // inherits the mask and only the sigwait below receives them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  try {
    nuve::test::FakeAccountService service(port);
    service.AddAccount("demo", "demo123", "demo@example.com");
    std::cout << "listening on " << service.host() << std::endl;
    int signal = 0;
    sigwait(&stop_signals, &signal);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
