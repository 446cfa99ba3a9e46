#pragma once
// The program's shared state, created once at start-up and passed down by
// reference: configuration, settings files, the web engine's network session
// and settings, the proxy taken from the command line, the host service for
// message boxes, the task runner that keeps slow work off the user-interface
// thread, and the account service: the login state (session, keep-alive,
// 登录态) shared by the seven clients (one per window that talks to the
// service, each built with the application key) and the profile of the
// logged-in user. Windows take from it what they need. The shared JSON
// document is the one SharedJson() gives; the record classes read through it.

#include <webkit/webkit.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "core/account/account_client.h"
#include "core/account/login_state.h"
#include "core/account/password_store.h"
#include "core/account/remembered_login.h"
#include "core/account/user_info.h"
#include "core/app/config.h"
#include "core/favourites/favourites_store.h"
#include "core/settings/app_settings.h"
#include "core/util/codec_util.h"
#include "core/util/duration_formatter.h"
#include "core/util/read_url.h"
#include "core/util/task_runner.h"
#include "ui/app/glib_ui_poster.h"

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
  // The favourites folder "收藏夹" in the data folder.
  const core::FavouritesStore& favourites() const { return favourites_; }

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

  // Slow work of every window runs here; see core/util/task_runner.h.
  core::TaskRunner& tasks() { return tasks_; }

  core::LoginState& login_state() { return login_state_; }
  // The login window's remembered account, password and flags.
  core::RememberedLogin& remembered_login() { return remembered_login_; }
  core::LoginSession& login_session() { return login_state_.session(); }
  core::AccountClient& main_account() { return main_account_; }
  core::AccountClient& profile_account() { return profile_account_; }
  core::AccountClient& register_account() { return register_account_; }
  core::AccountClient& login_account() { return login_account_; }
  core::AccountClient& recover_account() { return recover_account_; }
  core::AccountClient& password_account() { return password_account_; }
  core::AccountClient& feedback_account() { return feedback_account_; }
  core::UserInfo& current_user() { return current_user_; }
  const core::CodecUtil& codec() const { return codec_; }

  // What happens on the UI thread once the keep-alive finds the login gone.
  void set_session_expired_handler(std::function<void()> handler) {
    session_expired_ = std::move(handler);
  }

 private:
  core::Config config_;
  core::AppSettings settings_;
  core::FavouritesStore favourites_;
  UiHost& ui_host_;
  WebKitNetworkSession* network_session_ = nullptr;
  WebKitSettings* web_settings_ = nullptr;
  std::string proxy_text_;
  std::string proxy_list_;
  std::string proxy_address_;

  GlibUiPoster ui_poster_;
  std::function<void()> session_expired_;
  // Read by the keep-alive's expiry, which may reach the user-interface
  // thread after this context is gone.
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
  // Stopped first when the context goes away: every request in progress ends.
  std::stop_source shutdown_;
  // The session outlives the clients that refer to it (declaration order).
  core::LoginState login_state_;
  std::unique_ptr<core::PasswordStore> password_store_;
  core::RememberedLogin remembered_login_;
  core::AccountClient main_account_;
  core::AccountClient profile_account_;
  core::AccountClient register_account_;
  core::AccountClient login_account_;
  core::AccountClient recover_account_;
  core::AccountClient password_account_;
  core::AccountClient feedback_account_;
  core::UserInfo current_user_;
  core::CodecUtil codec_;
  core::DurationFormatter shared_duration_;
  // Last, so it goes first: its threads are joined while everything they
  // use still exists.
  core::TaskRunner tasks_{ui_poster_};
};

}  // namespace nuve::ui
