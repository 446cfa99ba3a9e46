#pragma once
// The program's shared state, created once at start-up and passed down by
// reference: configuration, settings files, the favourites, the web engine's
// profile (its network session, settings and the proxy from the command
// line), history and the restore list, the host service for message boxes,
// the task runner that keeps slow work off the user-interface thread, and
// the account service: the login state (session, keep-alive, 登录态) shared
// by the seven clients (one per window that talks to the service, each built
// with the application key) and the profile of the logged-in user. Windows
// take from it what they need. The shared JSON document is the one
// SharedJson() gives; the record classes read through it.

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
#include "core/history/history_store.h"
#include "core/session/session_store.h"
#include "core/settings/app_settings.h"
#include "core/util/codec_util.h"
#include "core/util/duration_formatter.h"
#include "core/util/read_url.h"
#include "core/util/task_runner.h"
#include "ui/app/glib_ui_poster.h"
#include "ui/engine/engine_profile.h"

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

  // Every web view is built from this one profile.
  EngineProfile& engine() { return engine_; }

  // Every visited page; completion and the history window ask it.
  core::HistoryStore& history() { return history_; }

  // The open tabs, kept for the next start.
  core::SessionStore& session() { return session_; }

  // Removes cookies, cache, site data, history and the restore list; `done`
  // runs on the UI thread (false when the engine reported a failure).
  void ClearBrowsingData(std::function<void(bool ok)> done);

  // The proxy lives in the engine's profile; these pass through to it.
  void SetInternetProxy(const std::string& host, const std::string& port) {
    engine_.SetInternetProxy(host, port);
  }
  const std::string& proxy_text() const { return engine_.proxy_text(); }
  const std::string& proxy_list() const { return engine_.proxy_list(); }
  core::ReadUrlOptions read_url_options() const { return engine_.read_url_options(); }

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
  EngineProfile engine_;
  core::HistoryStore history_;
  core::SessionStore session_;

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
