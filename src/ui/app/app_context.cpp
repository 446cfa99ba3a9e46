#include "ui/app/app_context.h"

#include "core/account/secret_password_store.h"

namespace nuve::ui {

AppContext::AppContext(core::Config config, UiHost& ui_host)
    : config_(std::move(config)),
      settings_(config_),
      favourites_(config_.data_dir / "收藏夹"),
      ui_host_(ui_host),
      engine_(config_, ui_host_),
      history_(config_.data_dir / "history.sqlite"),
      session_(config_.data_dir / "session.ini"),
      // The keep-alive calls back on its own thread; the UI thread takes over.
      login_state_(config_.data_dir / "login.ini", std::chrono::milliseconds(config_.keepalive_ms),
                   [this, alive = alive_] {
                     ui_poster_.Post([this, alive] {
                       if (*alive && session_expired_) session_expired_();
                     });
                   }),
      password_store_(std::make_unique<core::SecretPasswordStore>()),
      // Its writes run on the task runner, which is built last but used
      // only once the context is complete.
      remembered_login_(login_state_, password_store_.get(), &tasks_),
      main_account_(login_state_.session(), config_.service_host, core::kApplicationKey, shutdown_.get_token()),
      profile_account_(login_state_.session(), config_.service_host, core::kApplicationKey, shutdown_.get_token()),
      register_account_(login_state_.session(), config_.service_host, core::kApplicationKey,
                        shutdown_.get_token()),
      login_account_(login_state_.session(), config_.service_host, core::kApplicationKey, shutdown_.get_token()),
      recover_account_(login_state_.session(), config_.service_host, core::kApplicationKey, shutdown_.get_token()),
      password_account_(login_state_.session(), config_.service_host, core::kApplicationKey,
                        shutdown_.get_token()),
      feedback_account_(login_state_.session(), config_.service_host, core::kApplicationKey,
                        shutdown_.get_token()) {
  shared_duration_.Start();
}

AppContext::~AppContext() {
  // No renewal or reply may call back into a context that is going away,
  // and every request in progress ends now, so the task runner's threads
  // are joined at once.
  *alive_ = false;
  shutdown_.request_stop();
  login_state_.session().StopKeepAlive();
}

void AppContext::ClearBrowsingData(std::function<void(bool)> done) {
  history_.Clear();
  session_.Remove();
  engine_.ClearWebsiteData(std::move(done));
}

}  // namespace nuve::ui
