#pragma once
// The program's shared state, created once in main() and passed down by
// reference: configuration, settings files, the web engine's network session
// and settings, the proxy taken from the command line, and the host service
// for message boxes. Windows take from it what they need.

#include <webkit/webkit.h>

#include <string>

#include "core/app/config.h"
#include "core/settings/app_settings.h"
#include "core/util/read_url.h"

namespace nuve::ui {

class UiHost;

class AppContext {
 public:
  AppContext(core::Config config, UiHost& ui_host);
  ~AppContext();
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  const core::Config& config() const { return config_; }
  const core::AppSettings& settings() const { return settings_; }
  UiHost& ui_host() { return ui_host_; }

  // Every web view is built from this one session and these settings.
  WebKitNetworkSession* network_session() const { return network_session_; }
  WebKitSettings* web_settings() const { return web_settings_; }

  // Sends every page of every scheme, and the program's plain GETs, through
  // the proxy host:port for the rest of the run.
  void SetInternetProxy(const std::string& host, const std::string& port);
  // The proxy host shown in window titles; "" when there is no proxy.
  const std::string& proxy_text() const { return proxy_text_; }
  // The proxy list as the program keeps it ("ftp= P;http= P;..."), for logs.
  const std::string& proxy_list() const { return proxy_list_; }
  // Options for ReadUrl that honour the proxy.
  core::ReadUrlOptions read_url_options() const;

 private:
  core::Config config_;
  core::AppSettings settings_;
  UiHost& ui_host_;
  WebKitNetworkSession* network_session_ = nullptr;
  WebKitSettings* web_settings_ = nullptr;
  std::string proxy_text_;
  std::string proxy_list_;
  std::string proxy_address_;
};

}  // namespace nuve::ui
