#include "server/service_setup.h"

#include <algorithm>
#include <thread>

#include "server/api/version_channel.h"
#include "server/store/open_store.h"

namespace nuve::server {

std::unique_ptr<Store> OpenStoreFor(const ServerOptions& options) {
  StoreOptions store_options;
  store_options.max_connections = static_cast<std::size_t>(options.db_connections);
  store_options.sqlite.busy_timeout_ms = options.busy_timeout_ms;
  const std::filesystem::path data = options.data_dir.empty() ? DefaultDataDir() : options.data_dir;
  return OpenStore(options.database, data, store_options);
}

std::optional<std::string> MakeServiceConfig(const ServerOptions& options, ServiceConfig& out) {
  const auto listen = SplitListenAddress(options.listen);
  if (!listen) return "--listen wants HOST:PORT (for IPv6 [ADDRESS]:PORT), not \"" + options.listen + "\"";
  const bool tls = !options.tls_cert.empty();
  if (tls != !options.tls_key.empty()) return "--tls-cert and --tls-key go together";
  if (!options.app_keys.empty()) out.app_keys = options.app_keys;
  out.signups_open = options.signups_open;
  out.login_failures_per_client = options.login_failures_per_client;
  out.session_ttl_ms = options.session_ttl_seconds * 1000;
  if (!options.version_key.empty()) {
    for (const char c : options.version_key) {
      if (c < '0' || c > '9') return "--version-key is a run of decimal digits";
    }
    out.version_key = options.version_key;
  }
  if (!options.published_version.empty()) out.published_version = options.published_version;
  if (!IsPublishableLabel(out.published_version, out.version_key)) {
    return "--published-version must be printable text of at most 64 bytes, without double quotes and "
           "without the version key";
  }
  if (!options.public_url.empty()) {
    out.public_url = options.public_url;
    while (out.public_url.ends_with('/')) out.public_url.pop_back();
    if (!out.public_url.starts_with("http://") && !out.public_url.starts_with("https://")) {
      return "--public-url starts with http:// or https://";
    }
  } else {
    std::string host = listen->first;
    if (host == "0.0.0.0" || host == "::" || host.empty()) host = "127.0.0.1";
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    out.public_url = std::string(tls ? "https://" : "http://") + host + ":" + std::to_string(listen->second);
  }
  return std::nullopt;
}

std::filesystem::path DatabaseFolder(const ServerOptions& options) {
  if (options.database.empty()) return options.data_dir.empty() ? DefaultDataDir() : options.data_dir;
  if (options.database.starts_with("sqlite:")) {
    const std::filesystem::path file = options.database.substr(7);
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  }
  return {};
}

std::unique_ptr<PasswordHasher> MakeHasher(const ServerOptions& options) {
  const auto strength = HashStrengthFromName(options.password_hash);
  if (!strength) return nullptr;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return std::make_unique<PasswordHasher>(*strength, cores);
}

}  // namespace nuve::server
