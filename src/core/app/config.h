#pragma once
// Values the program leaves to whoever runs it: compiled-in defaults that the
// environment can override (tests and self-hosters use the NUVE_* variables).

#include <filesystem>
#include <string>

namespace nuve::core {

struct Config {
  // Folder of login.ini and the favourites folder ($NUVE_HOME, else
  // $XDG_DATA_HOME/NUVE, else ~/.local/share/NUVE).
  std::filesystem::path data_dir;
  // Folder of "Set save.ini" and "Collection.ini" ($NUVE_HOME, else
  // $XDG_CONFIG_HOME/NUVE, else ~/.config/NUVE).
  std::filesystem::path config_dir;
  // The web engine's cache ($NUVE_HOME/cache, else $XDG_CACHE_HOME/NUVE).
  std::filesystem::path cache_dir;

  std::string service_host;    // account service host[:port], or https://host[:port]
  std::string version_source;  // base URL of the version source, no path
  std::string version_key;     // decimal digits
  std::string download_page;   // the page that offers a new version
  std::string recovery_contact;  // the operator's contact in the recovery notice; "" for none
  std::string portal_a;        // preset pages: bare host names or full addresses
  std::string portal_b;
  std::string search_engine;
  // The search preset's query address; "%s" stands for the words typed
  // (NUVE_SEARCH_QUERY).
  std::string search_query;
  // Where downloads are saved: $NUVE_DOWNLOAD_DIR, else the desktop's
  // download folder (xdg-user-dirs), else ~/Downloads.
  std::filesystem::path download_dir;
  // Debian's packaged filter lists (EasyList, EasyPrivacy):
  // $NUVE_PACKAGED_FILTER_LISTS, else the folder of webext-ublock-origin.
  std::filesystem::path packaged_filter_lists;
  // The web inspector is available from the start (NUVE_DEVELOPER_EXTRAS=1).
  bool developer_extras = false;
  int keepalive_ms = 240000;
  // The wait after a keep-alive that did not reach the service; each next
  // one doubles, up to keepalive_ms (NUVE_KEEPALIVE_RETRY_MS).
  int keepalive_retry_ms = 15000;
  // How long a page may take before the first byte arrives before its tab
  // shows an error page (NUVE_PAGE_TIMEOUT_MS).
  int page_timeout_ms = 60000;

  // Reads the NUVE_* variables; unset or empty ones keep the defaults, and a
  // malformed number keeps its default too.
  static Config FromEnvironment();
};

// Creates `dir` with its parents when it does not exist yet. Returns false
// (and logs) when that is impossible.
bool EnsureDirectory(const std::filesystem::path& dir);

}  // namespace nuve::core
