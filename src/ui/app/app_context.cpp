#include "ui/app/app_context.h"

namespace nuve::ui {

AppContext::AppContext(core::Config config, UiHost& ui_host)
    : config_(std::move(config)),
      settings_(config_),
      ui_host_(ui_host),
      engine_(config_, ui_host_),
      history_(config_.data_dir / "history.sqlite"),
      session_(config_.data_dir / "session.ini"),
      // The keep-alive calls back on its own thread; the UI thread takes over.
      login_session_(std::chrono::milliseconds(config_.keepalive_ms),
                     [this] {
                       GlibEventPump::PostToMainContext([this] {
                         if (session_expired_) session_expired_();
                       });
                     }),
      main_account_(login_session_, config_.service_host, event_pump_),
      profile_account_(login_session_, config_.service_host, event_pump_),
      register_account_(login_session_, config_.service_host, event_pump_),
      login_account_(login_session_, config_.service_host, event_pump_),
      recover_account_(login_session_, config_.service_host, event_pump_),
      password_account_(login_session_, config_.service_host, event_pump_),
      feedback_account_(login_session_, config_.service_host, event_pump_) {
  shared_duration_.Start();
}

AppContext::~AppContext() {
  // No renewal may call back into a context that is going away.
  login_session_.StopKeepAlive();
}

void AppContext::ClearBrowsingData(std::function<void(bool)> done) {
  history_.Clear();
  session_.Remove();
  engine_.ClearWebsiteData(std::move(done));
}

}  // namespace nuve::ui
