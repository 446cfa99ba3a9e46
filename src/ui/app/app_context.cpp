#include "ui/app/app_context.h"

#include "core/account/secret_password_store.h"
#include "core/app/proxy_settings.h"

namespace nuve::ui {

AppContext::AppContext(core::Config config, UiHost& ui_host)
    : config_(std::move(config)),
      settings_(config_),
      favourites_(config_.data_dir / "收藏夹"),
      ui_host_(ui_host),
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
  const std::string data = (config_.data_dir / "webkit").string();
  const std::string cache = (config_.cache_dir / "webkit").string();
  // Our own session, never WebKit's default one: cookies and cache live in
  // the program's folders.
  network_session_ = webkit_network_session_new(data.c_str(), cache.c_str());
  webkit_website_data_manager_set_favicons_enabled(
      webkit_network_session_get_website_data_manager(network_session_), TRUE);
  web_settings_ = webkit_settings_new();
  webkit_settings_set_enable_developer_extras(web_settings_, TRUE);
}

AppContext::~AppContext() {
  // No renewal or reply may call back into a context that is going away,
  // and every request in progress ends now, so the task runner's threads
  // are joined at once.
  *alive_ = false;
  shutdown_.request_stop();
  login_state_.session().StopKeepAlive();
  g_clear_object(&web_settings_);
  g_clear_object(&network_session_);
}

void AppContext::SetInternetProxy(const std::string& host, const std::string& port) {
  proxy_text_ = host;
  proxy_list_ = core::ProxyListText(host, port);
  proxy_address_ = core::ProxyAddress(host, port);
  // One proxy for every scheme and no bypass list: loopback addresses go
  // through it too, as the proxy list says.
  const std::string uri = core::ProxyUri(host, port);
  WebKitNetworkProxySettings* proxy = webkit_network_proxy_settings_new(uri.c_str(), nullptr);
  webkit_network_session_set_proxy_settings(network_session_, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, proxy);
  webkit_network_proxy_settings_free(proxy);
}

core::ReadUrlOptions AppContext::read_url_options() const {
  core::ReadUrlOptions options;
  options.proxy = proxy_address_;
  return options;
}

}  // namespace nuve::ui
