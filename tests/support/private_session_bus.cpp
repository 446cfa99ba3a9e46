#include "support/private_session_bus.h"

#include <gio/gio.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace nuve::test {
namespace {

// Starts `argv` with `envp`; its standard input is a pipe whose write end
// is returned in `stdin_fd` (or closed when stdin_fd is null).
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& envp, int* stdin_fd) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (const auto& e : envp) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  GPid pid = 0;
  int in = -1;
  GError* error = nullptr;
  // The daemons end with the test process, even when it crashes.
  GSpawnChildSetupFunc die_with_parent = [](gpointer) { prctl(PR_SET_PDEATHSIG, SIGTERM); };
  const gboolean ok = g_spawn_async_with_pipes(
      nullptr, args.data(), env.data(),
      static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                               G_SPAWN_STDERR_TO_DEV_NULL),
      die_with_parent, nullptr, &pid, &in, nullptr, nullptr, &error);
  if (!ok) {
    const std::string message = error != nullptr ? error->message : "spawn failed";
    g_clear_error(&error);
    throw std::runtime_error("cannot start " + argv[0] + ": " + message);
  }
  if (stdin_fd != nullptr) {
    *stdin_fd = in;
  } else {
    close(in);
  }
  return pid;
}

void Terminate(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

// Whether `name` has an owner on the bus at `address`, asked on a private
// connection so that the process's shared one is left alone.
bool HasOwner(const std::string& address, const char* name) {
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  if (connection == nullptr) return false;
  GVariant* reply = g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name),
                                                G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
  gboolean owned = FALSE;
  if (reply != nullptr) {
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
  }
  g_object_unref(connection);
  return owned;
}

PrivateSessionBus* current_bus = nullptr;

}  // namespace

PrivateSessionBus* PrivateSessionBus::Current() { return current_bus; }

PrivateSessionBus::PrivateSessionBus(bool with_keyring) {
  std::filesystem::create_directories(dir_ / "run");
  std::filesystem::create_directories(dir_ / "data");
  std::filesystem::permissions(dir_ / "run", std::filesystem::perms::owner_all);
  const std::string socket = (dir_ / "bus").string();
  address_ = "unix:path=" + socket;
  // A session bus without service folders: nothing is started on demand.
  std::ofstream(dir_ / "bus.conf") << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
                                      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                      "<busconfig><type>session</type><listen>"
                                   << address_
                                   << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                      "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                      "<allow own=\"*\"/></policy></busconfig>\n";
  env_ = {"HOME=" + dir_.string(), "XDG_RUNTIME_DIR=" + (dir_ / "run").string(),
          "XDG_DATA_HOME=" + (dir_ / "data").string(), "DBUS_SESSION_BUS_ADDRESS=" + address_,
          std::string("PATH=") + (std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin")};
  bus_pid_ = Spawn({"dbus-daemon", "--nofork", "--config-file=" + (dir_ / "bus.conf").string()}, env_, nullptr);
  for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (with_keyring) {
    try {
      StartKeyring();
    } catch (...) {
      Stop();
      throw;
    }
  } else if (!std::filesystem::exists(socket)) {
    Stop();
    throw std::runtime_error("the private session bus did not start");
  }
  if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
    previous_address_ = old;
    had_previous_address_ = true;
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
  previous_current_ = std::exchange(current_bus, this);
}

PrivateSessionBus::~PrivateSessionBus() {
  current_bus = previous_current_;
  if (had_previous_address_) {
    setenv("DBUS_SESSION_BUS_ADDRESS", previous_address_.c_str(), 1);
  } else {
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  Stop();
}

void PrivateSessionBus::StartKeyring() {
  // The keyring reads the login keyring's password from its input and
  // creates that keyring, unlocked, as the default collection (or unlocks
  // the one it made before).
  int password_fd = -1;
  keyring_pid_ = Spawn({"gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"}, env_,
                       &password_fd);
  const char password[] = "nuve-test";
  (void)!write(password_fd, password, sizeof password - 1);
  close(password_fd);
  for (int i = 0; i < 250 && !HasOwner(address_, "org.freedesktop.secrets"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!HasOwner(address_, "org.freedesktop.secrets")) {
    Terminate(keyring_pid_);
    throw std::runtime_error("the private keyring did not start");
  }
}

void PrivateSessionBus::StopKeyring() {
  Terminate(keyring_pid_);
  // The name goes with the daemon; wait until the bus says so.
  for (int i = 0; i < 250 && HasOwner(address_, "org.freedesktop.secrets"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void PrivateSessionBus::Stop() {
  Terminate(keyring_pid_);
  Terminate(bus_pid_);
}

void UseNoSessionBus() { setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/nuve-test-bus", 1); }

}  // namespace nuve::test
