#pragma once
// The program's shared state, created once at start-up and passed down by
// reference: configuration, settings files, the web engine's profile (its
// network session, settings and the proxy from the command line), the host service for
// message boxes, and the account service: one login session shared by the
// seven clients (one per window that talks to the service) and the profile
// of the logged-in user. Windows take from it what they need. The shared JSON
// document is the one SharedJson() gives; the record classes read through it.

#include <functional>
#include <string>

#include "core/account/account_client.h"
#include "core/account/login_session.h"
#include "core/account/user_info.h"
#include "core/app/config.h"
#include "core/history/history_store.h"
#include "core/session/session_store.h"
#include "core/settings/app_settings.h"
#include "core/util/codec_util.h"
#include "core/util/duration_formatter.h"
#include "core/util/read_url.h"
#include "ui/app/glib_event_pump.h"
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

  core::LoginSession& login_session() { return login_session_; }
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
  UiHost& ui_host_;
  EngineProfile engine_;
  core::HistoryStore history_;
  core::SessionStore session_;

  GlibEventPump event_pump_;
  std::function<void()> session_expired_;
  // The session outlives the clients that refer to it (declaration order).
  core::LoginSession login_session_;
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
};

}  // namespace nuve::ui
