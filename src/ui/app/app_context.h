#pragma once
// The program's shared state, created once at start-up and passed down by
// reference: configuration, settings files, the favourites, the web engine's
// profile (its network session, settings and the proxy from the command
// line), history and the restore list, the host service for message boxes,
// the task runner that keeps slow work off the user-interface thread, and
// the account service: the login state (session, keep-alive, 登录态) shared
// by the seven clients (one per window that talks to the service, each built
// with the application key), the profile of the logged-in user and the
// favourites sync, which a watcher of the favourites folder keeps told of
// changes. Windows
// take from it what they need. The shared JSON document is the one
// SharedJson() gives; the record classes read through it.

#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include <gtkmm/window.h>
#include <sigc++/signal.h>

#include "core/account/account_client.h"
#include "core/account/login_state.h"
#include "core/account/password_store.h"
#include "core/account/remembered_login.h"
#include "core/account/user_info.h"
#include "core/app/config.h"
#include "core/favourites/favourites_store.h"
#include "core/history/history_store.h"
#include "core/passwords/site_passwords.h"
#include "core/session/session_book.h"
#include "core/session/session_store.h"
#include "core/settings/app_settings.h"
#include "core/sync/favourites_sync_service.h"
#include "core/util/codec_util.h"
#include "core/util/duration_formatter.h"
#include "core/util/read_url.h"
#include "core/util/task_runner.h"
#include "core/util/task_scope.h"
#include "ui/app/glib_ui_poster.h"
#include "ui/app/heap_trimmer.h"
#include "ui/downloads/download_manager.h"
#include "ui/engine/content_filters.h"
#include "ui/engine/engine_profile.h"
#include "ui/engine/start_page_scheme.h"
#include "ui/favourites/favourites_watcher.h"

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
  // Turns spelling on or off in every page now (the settings' choice); until
  // then it starts with the first key typed into a page.
  void ApplySpellChecking(bool enabled);
  UiHost& ui_host() { return ui_host_; }
  // The favourites folder "收藏夹" in the data folder.
  const core::FavouritesStore& favourites() const { return favourites_; }

  // Every web view of the normal windows is built from this one profile.
  EngineProfile& engine() { return engine_; }
  // The private windows' profile: one ephemeral profile while any of them
  // holds it, made on the first call and gone with the last holder (its
  // cookies, storage and cache with it, and its downloads leave the list).
  std::shared_ptr<EngineProfile> PrivateProfile();

  // The downloads of every window (both profiles).
  DownloadManager& downloads() { return downloads_; }

  // Every open browser window says when it opens and when it goes. When
  // the last one goes the login ends (the next start is logged out).
  void AddWindow(Gtk::Window& window);
  void RemoveWindow(Gtk::Window& window);
  int window_count() const { return static_cast<int>(windows_.size()); }

  // Content blocking: the filter lists every view gets.
  ContentFilters& content_filters() { return content_filters_; }

  // Every visited page; completion and the history window ask it.
  core::HistoryStore& history() { return history_; }

  // The nuve:// pages (the start page) the engine asks the program for.
  StartPageScheme& start_page() { return start_page_; }

  // The open tabs, kept for the next start; the book holds every normal
  // window's list and writes them to the store.
  core::SessionStore& session() { return session_; }
  core::SessionBook& session_book() { return session_book_; }

  // Saved site passwords (the desktop's secret store) and the never-save list.
  core::SitePasswords& site_passwords() { return site_passwords_; }

  // Removes cookies, cache, site data, history and the restore list; `done`
  // runs on the UI thread (false when the engine reported a failure).
  void ClearBrowsingData(std::function<void(bool ok)> done);
  // The favourites folder changed (in any window, or outside NUVE).
  sigc::signal<void()>& signal_favourites_changed() { return favourites_watcher_->signal_changed(); }

  // Raised when the browsing data is cleared, for what windows keep of it.
  sigc::signal<void()>& signal_browsing_data_cleared() { return browsing_data_cleared_; }

  // The proxy lives in the engine's profile; these pass through to it.
  void SetInternetProxy(const std::string& host, const std::string& port) {
    engine_.SetInternetProxy(host, port);
  }
  const std::string& proxy_text() const { return engine_.proxy_text(); }
  const std::string& proxy_list() const { return engine_.proxy_list(); }
  core::ReadUrlOptions read_url_options() const { return engine_.read_url_options(); }

  // Gives the heap's free pages back once the windows stop painting (see
  // ui/app/heap_trimmer.h).
  HeapTrimmer& heap_trimmer() { return heap_trimmer_; }

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
  // The favourites sync with the account (see core/sync/favourites_sync_service.h).
  core::FavouritesSyncService& favourites_sync() { return *favourites_sync_; }
  const core::CodecUtil& codec() const { return codec_; }


 private:
  void HookUp(EngineProfile& profile);
  core::Config config_;
  core::AppSettings settings_;
  // Spelling was applied: at the first key typed into a page, or by the settings.
  bool spelling_applied_ = false;
  core::FavouritesStore favourites_;
  UiHost& ui_host_;
  EngineProfile engine_;
  core::HistoryStore history_;
  StartPageScheme start_page_;
  core::SessionStore session_;

  core::SessionBook session_book_;
  // Before the private profile, which forgets its downloads as it goes.
  DownloadManager downloads_;
  std::weak_ptr<EngineProfile> private_profile_;
  std::vector<Gtk::Window*> windows_;
  HeapTrimmer heap_trimmer_;

  GlibUiPoster ui_poster_;
  void OnSessionExpired();
  // The keep-alive's expiry may reach the user-interface thread after this
  // context is gone: it is bound to this scope.
  core::TaskScope lifetime_;
  // Stopped first when the context goes away: every request in progress ends.
  std::stop_source shutdown_;
  // The session outlives the clients that refer to it (declaration order).
  core::LoginState login_state_;
  std::unique_ptr<core::PasswordStore> password_store_;
  core::RememberedLogin remembered_login_;
  std::unique_ptr<core::SitePasswordStore> site_password_store_;
  core::SitePasswords site_passwords_;
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
  // The sync's data key in the desktop's secret store.
  std::unique_ptr<core::PasswordStore> sync_keys_;
  // Before the task runner, so it goes after it: the runner's threads may
  // still be inside a sync step when it joins them.
  std::unique_ptr<core::FavouritesSyncService> favourites_sync_;
  std::unique_ptr<FavouritesWatcher> favourites_watcher_;
  core::LoginState::Subscription sync_on_logout_;
  sigc::signal<void()> browsing_data_cleared_;
  // Last but one, so it goes nearly first: its threads are joined while
  // everything they use still exists.
  core::TaskRunner tasks_{ui_poster_};
  // Uses the task runner from its start; its workers hold only copies, and
  // their late results are dropped with it.
  ContentFilters content_filters_;
};

}  // namespace nuve::ui
