#include "ui/engine/engine_profile.h"

#include <cstring>
#include <vector>

#include "core/app/log.h"
#include "core/app/proxy_settings.h"
#include "ui/app/ui_host.h"
#include "ui/app/guard.h"
#include "ui/engine/web_extensions.h"

namespace nuve::ui {
namespace {

// What a permission request asks for, in the question put to the user; ""
// for requests the engine decides by itself.
std::string PermissionQuestion(WebKitPermissionRequest* request, std::string& kind) {
  if (WEBKIT_IS_GEOLOCATION_PERMISSION_REQUEST(request)) {
    kind = "location";
    return "获取您的位置";
  }
  if (WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) {
    kind = "notifications";
    return "向您显示通知";
  }
  if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request)) {
    auto* media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
    const bool audio = webkit_user_media_permission_is_for_audio_device(media);
    const bool video = webkit_user_media_permission_is_for_video_device(media);
    kind = std::string("media") + (audio ? "+audio" : "") + (video ? "+video" : "");
    if (audio && video) return "使用您的摄像头和麦克风";
    if (video) return "使用您的摄像头";
    return "使用您的麦克风";
  }
  return {};
}

}  // namespace

EngineProfile::EngineProfile(const core::Config& config, UiHost& ui_host) : ui_host_(ui_host) {
  // Before the first view: the engine's web processes load NUVE's extension.
  WebExtensions::Prepare(webkit_web_context_get_default());
  const std::string data = (config.data_dir / "webkit").string();
  const std::string cache = (config.cache_dir / "webkit").string();
  // Our own session, never WebKit's default one: local storage, IndexedDB
  // and the like live in the data folder, the HTTP cache in the cache folder.
  session_ = webkit_network_session_new(data.c_str(), cache.c_str());
  WebKitWebsiteDataManager* data_manager = webkit_network_session_get_website_data_manager(session_);
  webkit_website_data_manager_set_favicons_enabled(data_manager, TRUE);

  // Cookies outlive the run (a site login survives a restart) in an SQLite
  // file of the data folder; third-party cookies are refused.
  if (core::EnsureDirectory(config.data_dir)) {
    WebKitCookieManager* cookies = webkit_network_session_get_cookie_manager(session_);
    const std::string cookie_file = (config.data_dir / "cookies.sqlite").string();
    webkit_cookie_manager_set_persistent_storage(cookies, cookie_file.c_str(),
                                                 WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
  }
  SetUpSession();
  webkit_settings_set_enable_developer_extras(settings_, config.developer_extras ? TRUE : FALSE);
}

EngineProfile::EngineProfile(Ephemeral, const EngineProfile& normal) : ui_host_(normal.ui_host_) {
  // Cookies, storage and cache live in memory only, and only while this
  // profile does; no cookie file is ever named.
  session_ = webkit_network_session_new_ephemeral();
  webkit_website_data_manager_set_favicons_enabled(webkit_network_session_get_website_data_manager(session_), TRUE);
  webkit_cookie_manager_set_accept_policy(webkit_network_session_get_cookie_manager(session_),
                                          WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
  SetUpSession();
  SetDeveloperExtras(normal.developer_extras());
  if (!normal.proxy_host_.empty()) SetInternetProxy(normal.proxy_host_, normal.proxy_port_);
}

// What every profile's session and settings share.
void EngineProfile::SetUpSession() {
  // A certificate that fails the checks stops the load; only the user's
  // deliberate choice lets a host through (AllowCertificateForHost).
  webkit_network_session_set_tls_errors_policy(session_, WEBKIT_TLS_ERRORS_POLICY_FAIL);

  download_handler_ = g_signal_connect(session_, "download-started", G_CALLBACK(DownloadStartedCb), this);

  settings_ = webkit_settings_new();
  // Pages may go full screen (videos) and read their own clipboard actions.
  webkit_settings_set_enable_fullscreen(settings_, TRUE);
}

EngineProfile::~EngineProfile() {
  if (download_handler_ != 0) g_signal_handler_disconnect(session_, download_handler_);
  g_clear_object(&settings_);
  g_clear_object(&session_);
}

void EngineProfile::DownloadStartedCb(WebKitNetworkSession*, WebKitDownload* download, gpointer self) noexcept {
  Guard("download-started", [&] { static_cast<EngineProfile*>(self)->download_started_.emit(download); });
}

WebKitWebView* EngineProfile::CreateView() const {
  auto* view = WEBKIT_WEB_VIEW(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session_, "settings", settings_, nullptr));
  if (view_hook_) view_hook_(view);
  return view;
}

WebKitWebView* EngineProfile::CreateRelatedView(WebKitWebView* parent) const {
  // Without the settings property the related view would get default settings.
  auto* view = WEBKIT_WEB_VIEW(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", parent, "settings", settings_, nullptr));
  if (view_hook_) view_hook_(view);
  return view;
}

void EngineProfile::SetSpellChecking(bool enabled) {
  WebKitWebContext* context = webkit_web_context_get_default();
  if (enabled) {
    // The engine passes over a language without a dictionary.
    std::vector<const char*> languages;
    for (const char* const* name = g_get_language_names(); *name != nullptr; ++name) {
      if (std::strchr(*name, '.') == nullptr && std::strchr(*name, '@') == nullptr && std::strcmp(*name, "C") != 0) {
        languages.push_back(*name);
      }
    }
    languages.push_back("en_US");
    languages.push_back(nullptr);
    webkit_web_context_set_spell_checking_languages(context, languages.data());
  }
  webkit_web_context_set_spell_checking_enabled(context, enabled ? TRUE : FALSE);
}

bool EngineProfile::developer_extras() const {
  return webkit_settings_get_enable_developer_extras(settings_) != FALSE;
}

void EngineProfile::SetDeveloperExtras(bool enabled) {
  webkit_settings_set_enable_developer_extras(settings_, enabled ? TRUE : FALSE);
}

void EngineProfile::SetInternetProxy(const std::string& host, const std::string& port) {
  proxy_host_ = host;
  proxy_port_ = port;
  proxy_text_ = host;
  proxy_list_ = core::ProxyListText(host, port);
  proxy_address_ = core::ProxyAddress(host, port);
  // One proxy for every scheme and no bypass list: loopback addresses go
  // through it too, as the proxy list says.
  const std::string uri = core::ProxyUri(host, port);
  WebKitNetworkProxySettings* proxy = webkit_network_proxy_settings_new(uri.c_str(), nullptr);
  webkit_network_session_set_proxy_settings(session_, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, proxy);
  webkit_network_proxy_settings_free(proxy);
}

core::ReadUrlOptions EngineProfile::read_url_options() const {
  core::ReadUrlOptions options;
  options.proxy = proxy_address_;
  return options;
}

void EngineProfile::AllowCertificateForHost(GTlsCertificate* certificate, const std::string& host) {
  if (certificate == nullptr || host.empty()) return;
  webkit_network_session_allow_tls_certificate_for_host(session_, certificate, host.c_str());
  allowed_hosts_.insert(host);
  core::LogWarning("tls", "the user chose to trust a failing certificate of " + host + " for this run");
}

bool EngineProfile::AskPermission(WebKitPermissionRequest* request, const std::string& origin,
                                  Gtk::Window* parent) {
  std::string kind;
  const std::string what = PermissionQuestion(request, kind);
  if (what.empty()) return false;
  const auto key = std::make_pair(origin, kind);
  if (const auto it = permission_answers_.find(key); it != permission_answers_.end()) {
    it->second ? webkit_permission_request_allow(request) : webkit_permission_request_deny(request);
    return true;
  }
  g_object_ref(request);
  const std::string site = origin.empty() ? std::string("此网页") : "网站 " + origin;
  ui_host_.Confirm(parent, site + " 请求" + what + "。是否允许？", [this, request, key](bool allowed) {
    permission_answers_[key] = allowed;
    allowed ? webkit_permission_request_allow(request) : webkit_permission_request_deny(request);
    g_object_unref(request);
  });
  return true;
}

void EngineProfile::ClearWebsiteData(std::function<void(bool)> done) {
  WebKitWebsiteDataManager* manager = webkit_network_session_get_website_data_manager(session_);
  auto* callback = new std::function<void(bool)>(std::move(done));
  // A time span of 0 means everything, however old.
  webkit_website_data_manager_clear(
      manager, WEBKIT_WEBSITE_DATA_ALL, 0, nullptr,
      +[](GObject* object, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::function<void(bool)>> finish(static_cast<std::function<void(bool)>*>(data));
        GError* error = nullptr;
        const bool ok = webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(object), result,
                                                                 &error) != FALSE;
        if (error != nullptr) {
          core::LogWarning("site data", std::string("clearing failed: ") + error->message);
          g_error_free(error);
        }
        Guard("clear site data", [&] {
          if (*finish) (*finish)(ok);
        });
      },
      callback);
}

}  // namespace nuve::ui
