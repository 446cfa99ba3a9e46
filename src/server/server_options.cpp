#include "server/server_options.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>

#include "server/http/client_address.h"

namespace nuve::server {
namespace {

using Setter = std::function<std::optional<std::string>(ServerOptions&, const std::string&)>;

struct OptionSpec {
  bool takes_value;
  Setter set;
};

std::optional<std::string> ParseNumber(const std::string& name, const std::string& text, long min, long max,
                                       long& out) {
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    return "--" + name + " wants a number from " + std::to_string(min) + " to " + std::to_string(max) +
           ", not \"" + text + "\"";
  }
  out = value;
  return std::nullopt;
}

template <class Field>
Setter Text(Field field) {
  return [field](ServerOptions& o, const std::string& v) -> std::optional<std::string> {
    o.*field = v;
    return std::nullopt;
  };
}

template <class Field>
Setter Number(const char* name, Field field, long min, long max) {
  return [=](ServerOptions& o, const std::string& v) -> std::optional<std::string> {
    long value = 0;
    if (auto error = ParseNumber(name, v, min, max, value)) return error;
    o.*field = static_cast<std::remove_reference_t<decltype(o.*field)>>(value);
    return std::nullopt;
  };
}

std::optional<std::string> ReadSecretFile(const std::string& file, std::string& out) {
  std::ifstream in(file);
  if (!in || !std::getline(in, out)) return "cannot read the password file " + file;
  while (!out.empty() && (out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return std::nullopt;
}

const std::map<std::string, OptionSpec>& Specs() {
  static const std::map<std::string, OptionSpec> specs = {
      {"listen", {true, Text(&ServerOptions::listen)}},
      {"database", {true, Text(&ServerOptions::database)}},
      {"data", {true, [](ServerOptions& o, const std::string& v) -> std::optional<std::string> {
                  o.data_dir = v;
                  return std::nullopt;
                }}},
      {"app-key", {true, [](ServerOptions& o, const std::string& v) -> std::optional<std::string> {
                     // The environment gives a comma-separated list.
                     std::size_t start = 0;
                     while (start <= v.size()) {
                       const std::size_t comma = std::min(v.find(',', start), v.size());
                       if (comma > start) o.app_keys.push_back(v.substr(start, comma - start));
                       start = comma + 1;
                     }
                     return std::nullopt;
                   }}},
      {"published-version", {true, Text(&ServerOptions::published_version)}},
      {"version-key", {true, Text(&ServerOptions::version_key)}},
      {"smtp", {true, Text(&ServerOptions::smtp_url)}},
      {"smtp-user", {true, Text(&ServerOptions::smtp_user)}},
      {"smtp-password", {true, Text(&ServerOptions::smtp_password)}},
      {"smtp-password-file", {true, [](ServerOptions& o, const std::string& v) {
                                return ReadSecretFile(v, o.smtp_password);
                              }}},
      {"mail-from", {true, Text(&ServerOptions::mail_from)}},
      {"tls-cert", {true, Text(&ServerOptions::tls_cert)}},
      {"tls-key", {true, Text(&ServerOptions::tls_key)}},
      {"insecure-http", {false, [](ServerOptions& o, const std::string& v) -> std::optional<std::string> {
                           o.insecure_http = v.empty() || v == "1" || v == "yes" || v == "true";
                           return std::nullopt;
                         }}},
      {"signups", {true, [](ServerOptions& o, const std::string& v) -> std::optional<std::string> {
                     if (v != "open" && v != "closed") return "--signups is open or closed, not \"" + v + "\"";
                     o.signups_open = v == "open";
                     return std::nullopt;
                   }}},
      {"session-ttl", {true, Number("session-ttl", &ServerOptions::session_ttl_seconds, 1, 30L * 24 * 3600)}},
      {"public-url", {true, Text(&ServerOptions::public_url)}},
      {"threads", {true, Number("threads", &ServerOptions::threads, 1, 4096)}},
      {"db-connections", {true, Number("db-connections", &ServerOptions::db_connections, 1, 1000)}},
      {"max-connections", {true, Number("max-connections", &ServerOptions::max_connections, 16, 1000000)}},
      {"connections-per-client",
       {true, Number("connections-per-client", &ServerOptions::connections_per_client, 0, 1000000)}},
      {"trusted-proxy", {true, [](ServerOptions& o, const std::string& v) -> std::optional<std::string> {
                           // The environment gives a comma-separated list.
                           std::size_t start = 0;
                           while (start <= v.size()) {
                             const std::size_t comma = std::min(v.find(',', start), v.size());
                             const std::string address = v.substr(start, comma - start);
                             if (!address.empty()) {
                               if (ClientAddresses::Canonical(address).empty()) {
                                 return "--trusted-proxy wants an IP address, not \"" + address + "\"";
                               }
                               o.trusted_proxies.push_back(address);
                             }
                             start = comma + 1;
                           }
                           return std::nullopt;
                         }}},
      {"login-failures-per-client",
       {true, Number("login-failures-per-client", &ServerOptions::login_failures_per_client, 1, 1000000000)}},
      {"free-space-reserve",
       {true, Number("free-space-reserve", &ServerOptions::free_space_reserve_mb, 0, 1000000)}},
      {"password-hash", {true, Text(&ServerOptions::password_hash)}},
      {"busy-timeout", {true, Number("busy-timeout", &ServerOptions::busy_timeout_ms, 1, 600000)}},
      {"limit", {true, [](ServerOptions& o, const std::string& v) -> std::optional<std::string> {
                   long value = 0;
                   if (auto error = ParseNumber("limit", v, 1, 1000000, value)) return error;
                   o.limit = value;
                   return std::nullopt;
                 }}},
      {"name", {true, Text(&ServerOptions::name)}},
      {"help", {false, [](ServerOptions& o, const std::string&) -> std::optional<std::string> {
                  o.help = true;
                  return std::nullopt;
                }}},
  };
  return specs;
}

std::string EnvName(const std::string& option) {
  std::string name = "NUVE_ACCOUNT_";
  for (const char c : option) name.push_back(c == '-' ? '_' : static_cast<char>(std::toupper(c)));
  return name;
}

}  // namespace

std::optional<std::string> ParseServerOptions(int argc, const char* const* argv, ServerOptions& out) {
  for (const auto& [name, spec] : Specs()) {
    if (name == "help" || name == "limit" || name == "name") continue;
    const char* value = std::getenv(EnvName(name).c_str());
    if (value == nullptr || *value == '\0') continue;
    if (auto error = spec.set(out, value)) return EnvName(name) + ": " + *error;
  }
  bool env_app_keys = !out.app_keys.empty();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!arg.starts_with("--") || arg == "--") {
      out.command.push_back(arg);
      continue;
    }
    const std::size_t eq = arg.find('=');
    const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    const auto it = Specs().find(name);
    if (it == Specs().end()) return "unknown option " + arg;
    std::string value;
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
    } else if (it->second.takes_value) {
      if (i + 1 >= argc) return "option --" + name + " needs a value";
      value = argv[++i];
    }
    if (name == "app-key" && env_app_keys) {
      out.app_keys.clear();  // keys on the command line replace those of the environment
      env_app_keys = false;
    }
    if (auto error = it->second.set(out, value)) return *error;
  }
  return std::nullopt;
}

std::filesystem::path DefaultDataDir() {
  if (const char* state = std::getenv("STATE_DIRECTORY"); state && *state) return state;
  if (const char* home = std::getenv("NUVE_HOME"); home && *home) return home;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return std::filesystem::path(xdg) / "NUVE";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : "/tmp") / ".local/share/NUVE";
}

std::optional<std::pair<std::string, int>> SplitListenAddress(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  std::string host = text.substr(0, colon);
  if (host.front() == '[') {
    if (host.back() != ']') return std::nullopt;
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string::npos) {
    return std::nullopt;  // IPv6 needs brackets
  }
  long port = 0;
  const std::string digits = text.substr(colon + 1);
  if (ParseNumber("listen", digits, 0, 65535, port)) return std::nullopt;
  return std::make_pair(host, static_cast<int>(port));
}

bool IsLoopbackHost(const std::string& host) {
  return host == "localhost" || host == "::1" || host.starts_with("127.");
}

std::string ServerHelpText() {
  return R"(Usage: nuve-account-server [OPTION]...            serve the NUVE account service
       nuve-account-server [OPTION]... COMMAND...     an operator's command

Options (each also NUVE_ACCOUNT_<NAME>, e.g. NUVE_ACCOUNT_LISTEN):
  --listen HOST:PORT        where to listen (default 127.0.0.1:8808)
  --database URL            sqlite:PATH or postgresql://USER@HOST/DB
                            (default: sqlite, accounts.db in the data folder)
  --data DIR                the data folder (default $STATE_DIRECTORY, else the
                            browser's data folder, ~/.local/share/NUVE)
  --app-key KEY             an application key to accept; repeatable (the
                            environment takes a comma-separated list); default
                            the key the NUVE browser sends
  --published-version LABEL the version label to publish until an operator sets
                            one with "version set" (default "beta M1.3.00")
  --version-key KEY         the key the version channel answers for
  --smtp URL                smtp://HOST[:PORT] or smtps://HOST[:PORT]; without
                            it the service runs in development mode and writes
                            every mail to standard error
  --smtp-user USER          --smtp-password PASSWORD   --smtp-password-file FILE
  --mail-from ADDRESS       the sender of the service's mails
  --tls-cert FILE           --tls-key FILE   serve HTTPS with this certificate
  --insecure-http           allow plain HTTP on a non-loopback address (behind a
                            TLS proxy only)
  --signups open|closed     whether new accounts may register (default open)
  --session-ttl SECONDS     a login unused this long expires (default 600)
  --public-url URL          the service's address as users reach it, for reset
                            links and avatars (default from --listen)
  --threads N               threads for writes and mail (default 16)
  --db-connections N        database connections per process (default 16)
  --max-connections N       connections at once; more are closed at once
                            (default 4096)
  --connections-per-client N  connections from one client address (default
                            32; 0 for no limit)
  --trusted-proxy ADDRESS   a TLS proxy or load balancer in front: on its
                            connections the client address is taken from
                            X-Forwarded-For; repeatable
  --login-failures-per-client N  wrong passwords one client address may send
                            in 15 minutes before its logins wait (default 30)
  --free-space-reserve MB   below this much free disk space, writes that
                            make the database grow are refused (default 64)
  --password-hash STRENGTH  interactive (default) or moderate; light is for tests
  --busy-timeout MS         how long a write waits for a locked database
  --help                    show this text

Commands:
  serve                                the default: run the service
  user add ACCOUNT EMAIL [--name NAME] a new account; the password is read from
                                       standard input (asked for on a terminal)
  user ban ACCOUNT | user unban ACCOUNT
  user reset-password ACCOUNT          a new password from standard input; ends
                                       the account's sessions
  user list [--limit N]
  feedback list [--limit N]
  announce add TITLE [CONTENT]         CONTENT from standard input when omitted
  announce list | announce remove ID
  version set LABEL | version show     the label the version channel publishes
  backup FILE                          a consistent copy of a SQLite database
                                       while the service runs
)";
}

}  // namespace nuve::server
