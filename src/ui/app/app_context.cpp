#include "ui/app/app_context.h"

#include "core/account/secret_password_store.h"
#include "core/passwords/secret_site_password_store.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

AppContext::AppContext(core::Config config, UiHost& ui_host)
    : config_(std::move(config)),
      settings_(config_),
      favourites_(config_.data_dir / "收藏夹"),
      ui_host_(ui_host),
      engine_(config_, ui_host_),
      history_(config_.data_dir / "history.sqlite"),
      start_page_(favourites_, history_, config_.data_dir / "start-page-removed.txt", config_.search_query),
      session_(config_.data_dir / "session.ini"),
      session_book_(session_),
      downloads_(engine_, ui_host_, config_.download_dir),
      // The keep-alive calls back on its own thread when the service refused
      // the login; the UI thread ends the login (登录态 "0", the keep-alive
      // stopped) and the handler tells the user. The browser goes on.
      login_state_(config_.data_dir / "login.ini", std::chrono::milliseconds(config_.keepalive_ms),
                   [this, expired = lifetime_.Bind([this] {
                      login_state_.LogOut();
                      OnSessionExpired();
                    })] { ui_poster_.Post(expired); },
                   std::chrono::milliseconds(config_.keepalive_retry_ms)),
      password_store_(std::make_unique<core::SecretPasswordStore>()),
      // Its writes run on the task runner, which is built last but used
      // only once the context is complete.
      remembered_login_(login_state_, password_store_.get(), &tasks_),
      site_password_store_(std::make_unique<core::SecretSitePasswordStore>()),
      site_passwords_(site_password_store_.get(), core::NeverSaveList(config_.data_dir / "never-save.ini"), tasks_),
      main_account_(login_state_.session(), config_.service_host, core::kApplicationKey, shutdown_.get_token()),
      profile_account_(login_state_.session(), config_.service_host, core::kApplicationKey, shutdown_.get_token()),
      register_account_(login_state_.session(), config_.service_host, core::kApplicationKey,
                        shutdown_.get_token()),
      login_account_(login_state_.session(), config_.service_host, core::kApplicationKey, shutdown_.get_token()),
      recover_account_(login_state_.session(), config_.service_host, core::kApplicationKey, shutdown_.get_token()),
      password_account_(login_state_.session(), config_.service_host, core::kApplicationKey,
                        shutdown_.get_token()),
      feedback_account_(login_state_.session(), config_.service_host, core::kApplicationKey,
                        shutdown_.get_token()),
      content_filters_(config_, tasks_, [this] { return engine_.read_url_options(); }) {
  shared_duration_.Start();
  // The sync is built once the runner it works on exists.
  sync_keys_ = std::make_unique<core::SecretPasswordStore>("org.nuve.Browser.FavouritesKey", "sync-state",
                                                           "NUVE浏览器 收藏同步密钥");
  favourites_sync_ = std::make_unique<core::FavouritesSyncService>(
      tasks_, ui_poster_,
      std::make_unique<core::FavouritesSync>(favourites_, config_.data_dir / "favourites-sync.json",
                                             login_state_.session(), config_.service_host, sync_keys_.get(),
                                             core::SyncOptions{}, shutdown_.get_token()));
  favourites_watcher_ = std::make_unique<FavouritesWatcher>(favourites_, 1000);
  favourites_watcher_->signal_changed().connect([this] { favourites_sync_->NotifyLocalChange(); });
  sync_on_logout_ = login_state_.Subscribe([this] {
    if (!login_state_.IsLoggedIn()) favourites_sync_->LogOut();
  });
  HookUp(engine_);
  content_filters_.HoldJobs();
  content_filters_.Start();
  engine_.set_site_passwords(&site_passwords_);
}

AppContext::~AppContext() {
  // The last sync of the favourites (the logout's) may still run: it gets a
  // few seconds before the requests are stopped.
  favourites_watcher_.reset();
  sync_on_logout_.Reset();
  favourites_sync_->FinishBeforeExit(std::chrono::seconds(10));
  // No renewal or reply may call back into a context that is going away,
  // and every request in progress ends now, so the task runner's threads
  // are joined at once.
  lifetime_.Cancel();
  engine_.set_view_hook({});
  engine_.set_navigation_hold({});
  engine_.set_typing_hook({});
  shutdown_.request_stop();
  login_state_.session().StopKeepAlive();
}

// Every profile's views get the content filters and the start page, and
// their navigations wait for the cached filters.
void AppContext::HookUp(EngineProfile& profile) {
  profile.set_view_hook([this](WebKitWebView* view) {
    content_filters_.AttachView(view);
    start_page_.AttachView(view);
  });
  profile.set_navigation_hold(
      [this](WebKitPolicyDecision* decision) { return content_filters_.HoldUntilReady(decision); });
  // Spelling waits for the first key typed into a page: its dictionaries
  // cost memory and a moment of this thread, and most pages take no words.
  profile.set_typing_hook([this] {
    if (!spelling_applied_) ApplySpellChecking(settings_.CheckSpelling());
  });
}

void AppContext::ApplySpellChecking(bool enabled) {
  spelling_applied_ = true;
  EngineProfile::SetSpellChecking(enabled);
}

std::shared_ptr<EngineProfile> AppContext::PrivateProfile() {
  if (std::shared_ptr<EngineProfile> profile = private_profile_.lock()) return profile;
  // Private windows are closed before the context goes, so the last holder
  // always finds the downloads list still there.
  std::shared_ptr<EngineProfile> profile(new EngineProfile(EngineProfile::Ephemeral{}, engine_),
                                         [this](EngineProfile* ending) {
                                           downloads_.Forget(*ending);
                                           delete ending;
                                         });
  HookUp(*profile);
  downloads_.Watch(*profile);
  private_profile_ = profile;
  return profile;
}

void AppContext::AddWindow(Gtk::Window& window) {
  windows_.push_back(&window);
  heap_trimmer_.Watch(window);
}

void AppContext::RemoveWindow(Gtk::Window& window) {
  const auto before = windows_.size();
  std::erase(windows_, &window);
  heap_trimmer_.TrimSoon();  // most of what the window held is free now
  // Closing the browser ends the login: the next start is logged out.
  if (before != windows_.size() && windows_.empty()) login_state_.LogOut();
}

// The service refused the login and it has ended; the user hears why (over
// the window in front), and every tab stays.
void AppContext::OnSessionExpired() {
  if (windows_.empty()) return;
  Gtk::Window* parent = windows_.back();
  for (Gtk::Window* window : windows_) {
    if (window->is_active()) parent = window;
  }
  ui_host_.Error(parent, "您的登陆会话已过期");
}

void AppContext::ClearBrowsingData(std::function<void(bool)> done) {
  history_.Clear();
  session_.Remove();
  browsing_data_cleared_.emit();
  engine_.ClearWebsiteData(std::move(done));
}

}  // namespace nuve::ui
