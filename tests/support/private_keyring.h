#pragma once
// A secret store of the test's own: a private D-Bus session bus (no service
// activation, so nothing else starts on it) with a gnome-keyring-daemon on
// it whose login keyring is unlocked. While the object lives, the process's
// DBUS_SESSION_BUS_ADDRESS names that bus; make it before anything in the
// process connects to the session bus (libsecret keeps its first one).
// Everything lives in a temporary folder and ends with the object.

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace nuve::test {

class PrivateKeyring {
 public:
  // Throws std::runtime_error when the bus or the keyring does not start.
  PrivateKeyring();
  ~PrivateKeyring();
  PrivateKeyring(const PrivateKeyring&) = delete;
  PrivateKeyring& operator=(const PrivateKeyring&) = delete;

  const std::string& bus_address() const { return address_; }

 private:
  void Stop();

  std::filesystem::path dir_;
  std::string address_;
  pid_t bus_pid_ = -1;
  pid_t keyring_pid_ = -1;
  std::string previous_address_;
  bool had_previous_address_ = false;
};

// Points the session bus at an address where nothing listens, so that the
// process sees no secret store (and GLib starts no bus of its own).
void UseNoSessionBus();

}  // namespace nuve::test
