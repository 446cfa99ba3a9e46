#include "core/app/config.h"

#include <charconv>
#include <cstdlib>
#include <system_error>

#include <glib.h>

#include "core/account/service_address.h"
#include "core/app/build_defaults.h"
#include "core/app/log.h"

namespace nuve::core {
namespace {

std::string Env(const char* name, std::string fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  return value;
}

std::filesystem::path XdgFolder(const char* variable, const char* home_relative,
                                const char* below_nuve_home = "") {
  if (const char* nuve_home = std::getenv("NUVE_HOME"); nuve_home && *nuve_home) {
    return std::filesystem::path(nuve_home) / below_nuve_home;
  }
  if (const char* xdg = std::getenv(variable); xdg && *xdg == '/') {
    return std::filesystem::path(xdg) / "NUVE";
  }
  const char* home = std::getenv("HOME");
  std::filesystem::path base = (home && *home) ? home : "/tmp";
  return base / home_relative / "NUVE";
}

int EnvMilliseconds(const char* name, int fallback) {
  const std::string text = Env(name, "");
  if (text.empty()) return fallback;
  int ms = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
  if (ec == std::errc() && end == text.data() + text.size() && ms > 0) return ms;
  LogWarning("config", std::string(name) + " is not a positive number: " + text);
  return fallback;
}

std::filesystem::path DownloadFolder() {
  if (const char* dir = std::getenv("NUVE_DOWNLOAD_DIR"); dir && *dir) return dir;
  // GLib reads user-dirs.dirs; it gives null when the folder is not set.
  if (const char* xdg = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD); xdg && *xdg) return xdg;
  return std::filesystem::path(g_get_home_dir()) / "Downloads";
}

}  // namespace

Config Config::FromEnvironment() {
  Config c;
  c.data_dir = XdgFolder("XDG_DATA_HOME", ".local/share");
  c.config_dir = XdgFolder("XDG_CONFIG_HOME", ".config");
  c.cache_dir = XdgFolder("XDG_CACHE_HOME", ".cache", "cache");
  namespace built = build_defaults;
  c.service_host = Env("NUVE_SERVICE_HOST", built::kServiceHost);
  // Derived values follow the service address, also one given at run time.
  const std::string service = ServiceAddress(c.service_host).BaseUrl();
  c.version_source = Env("NUVE_VERSION_SOURCE", *built::kVersionSource ? built::kVersionSource : service);
  c.version_key = Env("NUVE_VERSION_KEY", built::kVersionKey);
  c.download_page = Env("NUVE_DOWNLOAD_PAGE", *built::kDownloadPage ? built::kDownloadPage : service + "/download");
  c.recovery_contact = Env("NUVE_RECOVERY_CONTACT", built::kRecoveryContact);
  c.portal_a = Env("NUVE_PORTAL_A", built::kPortalA);
  c.portal_b = Env("NUVE_PORTAL_B", built::kPortalB);
  c.search_engine = Env("NUVE_SEARCH_ENGINE", built::kSearchEngine);
  c.search_query = Env("NUVE_SEARCH_QUERY", built::kSearchQuery);
  c.download_dir = DownloadFolder();
  c.packaged_filter_lists = Env("NUVE_PACKAGED_FILTER_LISTS",
                                "/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/easylist");
  c.developer_extras = Env("NUVE_DEVELOPER_EXTRAS", "0") == "1";

  c.keepalive_ms = EnvMilliseconds("NUVE_KEEPALIVE_MS", c.keepalive_ms);
  c.keepalive_retry_ms = EnvMilliseconds("NUVE_KEEPALIVE_RETRY_MS", c.keepalive_retry_ms);
  c.page_timeout_ms = EnvMilliseconds("NUVE_PAGE_TIMEOUT_MS", c.page_timeout_ms);
  return c;
}

bool EnsureDirectory(const std::filesystem::path& dir) {
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) return true;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    LogWarning("config", "cannot create " + dir.string() + ": " + ec.message());
    return false;
  }
  return true;
}

}  // namespace nuve::core
