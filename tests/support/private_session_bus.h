#pragma once
// A D-Bus session bus of the test's own, without service activation (so
// nothing starts on it by itself), and when asked a gnome-keyring-daemon on
// it whose login keyring is unlocked: a secret store of the test's own.
// While the object lives, the process's DBUS_SESSION_BUS_ADDRESS names that
// bus; make it before anything in the process connects to the session bus
// (libsecret and GApplication keep their first one). Everything lives in a
// temporary folder and ends with the object.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_home.h"

namespace nuve::test {

class PrivateSessionBus {
 public:
  // Throws std::runtime_error when the bus or the keyring does not start.
  explicit PrivateSessionBus(bool with_keyring);
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  const std::string& bus_address() const { return address_; }
  // The one whose address the process uses now (the newest alive), or null.
  static PrivateSessionBus* Current();

  // Ends the keyring daemon, as when the desktop's secret service goes
  // away; StartKeyring starts it again on the same keyring files.
  void StopKeyring();
  void StartKeyring();

 private:
  void Stop();

  TempHome home_{/*set_nuve_home=*/false};
  std::filesystem::path dir_ = home_.path();
  std::string address_;
  std::vector<std::string> env_;
  pid_t bus_pid_ = -1;
  pid_t keyring_pid_ = -1;
  std::string previous_address_;
  bool had_previous_address_ = false;
  PrivateSessionBus* previous_current_ = nullptr;
};

// Points the session bus at an address where nothing listens, so that a
// process without web views sees no secret store (and GLib starts no bus of
// its own). WebKit refuses to start without a working bus: window tests use
// a PrivateSessionBus.
void UseNoSessionBus();

}  // namespace nuve::test
