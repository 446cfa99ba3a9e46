#pragma once
// The program's options. Each --name also comes from the environment as
// NUVE_ACCOUNT_NAME (upper case, "-" as "_"); the command line wins. Words
// that are not options form the operator's command ("user ban 12345678").

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace nuve::server {

struct ServerOptions {
  std::string listen = "127.0.0.1:8808";
  std::string database;  // "" = sqlite in the data folder
  std::filesystem::path data_dir;
  std::vector<std::string> app_keys;  // empty = the browser's key
  std::string published_version;      // "" = the built-in label
  std::string version_key;            // "" = the built-in key
  std::string smtp_url;               // "" = development mode
  std::string smtp_user;
  std::string smtp_password;
  std::string mail_from;
  std::string tls_cert;
  std::string tls_key;
  bool insecure_http = false;
  bool signups_open = true;
  long session_ttl_seconds = 600;
  std::string public_url;  // "" = from --listen
  int threads = 16;  // the work queue's threads
  int db_connections = 16;
  int max_connections = 4096;
  int connections_per_client = 32;
  std::vector<std::string> trusted_proxies;
  long login_failures_per_client = 30;
  long free_space_reserve_mb = 64;
  std::string password_hash = "interactive";
  int busy_timeout_ms = 5000;
  std::optional<long> limit;  // for the listing commands
  std::string name;           // for "user add"
  bool help = false;
  std::vector<std::string> command;
};

// Parses the environment first, then argv. Returns the error to show (and
// leaves `out` partly filled) when an option is unknown or malformed.
std::optional<std::string> ParseServerOptions(int argc, const char* const* argv, ServerOptions& out);

// The --help text.
std::string ServerHelpText();

// The data folder when none is given: $STATE_DIRECTORY (systemd), else the
// browser's data folder ($NUVE_HOME, $XDG_DATA_HOME/NUVE or
// ~/.local/share/NUVE), so a local service sits beside the browser's files.
std::filesystem::path DefaultDataDir();

// host and port of a HOST:PORT ("[::1]:8808" for IPv6); nullopt if malformed.
std::optional<std::pair<std::string, int>> SplitListenAddress(const std::string& text);
// Whether the host is a loopback address.
bool IsLoopbackHost(const std::string& host);

}  // namespace nuve::server
