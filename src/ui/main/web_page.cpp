#include "ui/main/web_page.h"

#include <algorithm>

#include "core/app/address.h"
#include "core/app/context_menu.h"
#include "core/app/error_page.h"
#include "core/app/log.h"
#include "core/app/zoom_levels.h"
#include "ui/app/guard.h"
#include "ui/engine/engine_profile.h"
#include "ui/main/page_printer.h"

namespace nuve::ui {
namespace {

WebPage* Self(gpointer data) { return static_cast<WebPage*>(data); }

// Load failures that are no failure for the user: a stop, a new load, a
// response that became a download.
bool IsNotAFailure(const GError* error) {
  if (error == nullptr) return false;
  return (error->domain == WEBKIT_NETWORK_ERROR && error->code == WEBKIT_NETWORK_ERROR_CANCELLED) ||
         (error->domain == WEBKIT_POLICY_ERROR &&
          error->code == WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
         (error->domain == WEBKIT_DOWNLOAD_ERROR);
}

core::LoadProblem ClassifyLoadError(const GError* error) {
  using core::LoadProblem;
  if (error == nullptr) return LoadProblem::kOther;
  if (error->domain == G_RESOLVER_ERROR) return LoadProblem::kHostNotFound;
  if (error->domain == G_IO_ERROR) {
    if (error->code == G_IO_ERROR_CONNECTION_REFUSED) return LoadProblem::kRefused;
    if (error->code == G_IO_ERROR_TIMED_OUT) return LoadProblem::kTimedOut;
    if (error->code == G_IO_ERROR_HOST_NOT_FOUND) return LoadProblem::kHostNotFound;
  }
  if (error->domain == WEBKIT_NETWORK_ERROR) {
    if (error->code == WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL) return LoadProblem::kUnsupportedScheme;
  }
  if (error->domain == WEBKIT_POLICY_ERROR) {
    if (error->code == WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI) return LoadProblem::kUnsupportedScheme;
    if (error->code == WEBKIT_POLICY_ERROR_CANNOT_USE_RESTRICTED_PORT) return LoadProblem::kBlockedPort;
  }
  return LoadProblem::kOther;
}

}  // namespace

// Trampolines, one per WebKit signal. They only forward to the page.
struct WebPageCallbacks {
  static void NotifyTitleCb(GObject*, GParamSpec*, gpointer self) noexcept {
    Guard("notify::title", [&] { Self(self)->title_changed_.emit(); });
  }
  static void NotifyUriCb(GObject*, GParamSpec*, gpointer self) noexcept {
    Guard("notify::uri", [&] { Self(self)->uri_changed_.emit(); });
  }
  static void NotifyFaviconCb(GObject*, GParamSpec*, gpointer self) noexcept {
    Guard("notify::favicon", [&] { Self(self)->favicon_changed_.emit(); });
  }
  static void NotifyAudioCb(GObject*, GParamSpec*, gpointer self) noexcept {
    Guard("notify::is-playing-audio", [&] { Self(self)->audio_changed_.emit(); });
  }
  static gboolean FullscreenCb(WebKitWebView*, gpointer self) noexcept {
    // Not handled here: the engine goes on and fills the window with the element.
    Guard("fullscreen", [&] { Self(self)->SetFullscreen(true); });
    return FALSE;
  }
  static gboolean LeaveFullscreenCb(WebKitWebView*, gpointer self) noexcept {
    Guard("leave-fullscreen", [&] { Self(self)->SetFullscreen(false); });
    return FALSE;
  }
  static void MouseTargetChangedCb(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer self) noexcept {
    Guard("mouse-target-changed", [&] { Self(self)->OnMouseTargetChanged(hit); });
  }
  static GtkWidget* CreateCb(WebKitWebView*, WebKitNavigationAction*, gpointer self) noexcept {
    return Guard("create", [&] { return Self(self)->OnCreate(); });
  }
  static void CloseCb(WebKitWebView*, gpointer self) noexcept {
    Guard("close", [&] { Self(self)->close_requested_.emit(); });
  }
  static gboolean DecidePolicyCb(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer self) noexcept {
    return Guard("decide-policy", [&] { return static_cast<gboolean>(Self(self)->OnDecidePolicy(decision, type)); });
  }
  static void LoadChangedCb(WebKitWebView*, WebKitLoadEvent event, gpointer self) noexcept {
    Guard("load-changed", [&] { Self(self)->OnLoadChanged(event); });
  }
  static void BackForwardChangedCb(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer,
                                   gpointer self) noexcept {
    Guard("back-forward changed", [&] { Self(self)->load_state_changed_.emit(); });
  }
  static void NotifyLoadingCb(GObject*, GParamSpec*, gpointer self) noexcept {
    Guard("notify::is-loading", [&] { Self(self)->load_state_changed_.emit(); });
  }
  static gboolean LoadFailedCb(WebKitWebView*, WebKitLoadEvent, char* uri, GError* error, gpointer self) noexcept {
    return Guard("load-failed", [&] { return static_cast<gboolean>(Self(self)->OnLoadFailed(uri, error)); });
  }
  static gboolean LoadFailedWithTlsErrorsCb(WebKitWebView*, char* uri, GTlsCertificate* certificate,
                                            GTlsCertificateFlags flags, gpointer self) noexcept {
    return Guard("load-failed-with-tls-errors", [&] {
      return static_cast<gboolean>(Self(self)->OnLoadFailedWithTlsErrors(uri, certificate, flags));
    });
  }
  static gboolean PermissionRequestCb(WebKitWebView*, WebKitPermissionRequest* request, gpointer self) noexcept {
    return Guard("permission-request",
                 [&] { return static_cast<gboolean>(Self(self)->OnPermissionRequest(request)); });
  }
  static void WebProcessTerminatedCb(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                     gpointer self) noexcept {
    Guard("web-process-terminated", [&] { Self(self)->OnWebProcessTerminated(reason); });
  }
  static gboolean ContextMenuCb(WebKitWebView*, WebKitContextMenu* menu, WebKitHitTestResult* hit,
                                gpointer self) noexcept {
    return Guard("context-menu",
                 [&] { return static_cast<gboolean>(Self(self)->context_menu_->OnContextMenu(menu, hit)); });
  }
  static gboolean UserMessageReceivedCb(WebKitWebView*, WebKitUserMessage* message, gpointer self) noexcept {
    return Guard("user-message-received", [&] {
      const auto& handler = Self(self)->message_handler_;
      return static_cast<gboolean>(handler && handler(message));
    });
  }
};

WebPage::WebPage(EngineProfile& profile, int page_timeout_ms)
    : profile_(profile), page_timeout_ms_(page_timeout_ms) {
  Adopt(profile_.CreateView());
}

WebPage::WebPage(EngineProfile& profile, WebKitWebView* parent, int page_timeout_ms)
    : profile_(profile), page_timeout_ms_(page_timeout_ms) {
  Adopt(profile_.CreateRelatedView(parent));
}

WebPage::~WebPage() {
  lifetime_.Cancel();
  load_timeout_.disconnect();
  connections_.clear();
  webkit_web_view_stop_loading(view_);
  g_clear_object(&tls_certificate_);
  // The tab has taken the view out of its container; this is the last
  // reference but the engine's own.
  g_object_unref(view_);
}

void WebPage::Adopt(WebKitWebView* view) {
  view_ = view;
  context_menu_ = std::make_unique<PageContextMenu>(*this);
  // The page, not the widget tree, decides when the view goes away.
  g_object_ref_sink(view_);
  view_widget_ = Glib::wrap(GTK_WIDGET(view_));
  view_widget_->set_hexpand(true);
  view_widget_->set_vexpand(true);
  // Escape stops a load while the page has the focus. The page sees the key
  // too (its own dialogs close on it), and the engine does not pass Escape
  // on to the window while a load is under way. Typing tells the profile,
  // which loads the spelling dictionaries only once they can be of use.
  auto keys = Gtk::EventControllerKey::create();
  keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  keys->signal_key_pressed().connect(
      [this](guint keyval, guint, Gdk::ModifierType) {
        if (keyval == GDK_KEY_Escape && IsLoading()) Stop();
        if (const gunichar c = gdk_keyval_to_unicode(keyval); (c >= 0x20 && c != 0x7f) || keyval == GDK_KEY_BackSpace) {
          profile_.NoteTyping();
        }
        return false;
      },
      false);
  view_widget_->add_controller(keys);
  ConnectWebView();
}

void WebPage::ConnectWebView() {
  using C = WebPageCallbacks;
  auto connect = [this](const char* signal, GCallback cb) { connections_.emplace_back(view_, signal, cb, this); };
  connect("notify::title", G_CALLBACK(C::NotifyTitleCb));
  connect("notify::uri", G_CALLBACK(C::NotifyUriCb));
  connect("notify::favicon", G_CALLBACK(C::NotifyFaviconCb));
  connect("mouse-target-changed", G_CALLBACK(C::MouseTargetChangedCb));
  connect("notify::is-playing-audio", G_CALLBACK(C::NotifyAudioCb));
  connect("notify::is-muted", G_CALLBACK(C::NotifyAudioCb));
  connect("enter-fullscreen", G_CALLBACK(C::FullscreenCb));
  connect("leave-fullscreen", G_CALLBACK(C::LeaveFullscreenCb));
  connect("create", G_CALLBACK(C::CreateCb));
  connect("close", G_CALLBACK(C::CloseCb));
  connect("decide-policy", G_CALLBACK(C::DecidePolicyCb));
  connect("load-changed", G_CALLBACK(C::LoadChangedCb));
  connect("notify::is-loading", G_CALLBACK(C::NotifyLoadingCb));
  connect("notify::estimated-load-progress", G_CALLBACK(C::NotifyLoadingCb));
  connections_.emplace_back(webkit_web_view_get_back_forward_list(view_), "changed",
                            G_CALLBACK(C::BackForwardChangedCb), this);
  connect("load-failed", G_CALLBACK(C::LoadFailedCb));
  connect("load-failed-with-tls-errors", G_CALLBACK(C::LoadFailedWithTlsErrorsCb));
  // Script dialogs (alert, confirm, prompt) and file choosers for uploads
  // are the engine's own; permissions are asked here.
  connect("permission-request", G_CALLBACK(C::PermissionRequestCb));
  connect("web-process-terminated", G_CALLBACK(C::WebProcessTerminatedCb));
  // Only NUVE's own extension sends these; page scripts have no way to.
  connect("user-message-received", G_CALLBACK(C::UserMessageReceivedCb));
  // Our own menu, in place of every item of the engine's.
  connect("context-menu", G_CALLBACK(C::ContextMenuCb));
}

void WebPage::SetFullscreen(bool fullscreen) {
  if (fullscreen == fullscreen_) return;
  fullscreen_ = fullscreen;
  fullscreen_changed_.emit();
}

bool WebPage::IsPlayingAudio() const { return webkit_web_view_is_playing_audio(view_) != FALSE; }
bool WebPage::IsMuted() const { return webkit_web_view_get_is_muted(view_) != FALSE; }
void WebPage::SetMuted(bool muted) { webkit_web_view_set_is_muted(view_, muted); }

void WebPage::LeaveFullscreen() {
  if (!fullscreen_) return;
  // The engine has no call for it; the page's own one ends with leave-fullscreen.
  webkit_web_view_evaluate_javascript(view_, "document.exitFullscreen && document.exitFullscreen();", -1, nullptr,
                                      nullptr, nullptr, nullptr, nullptr);
}

void WebPage::SetState(PageState state) {
  if (state == state_) return;
  state_ = state;
  state_changed_.emit();
}

bool WebPage::ShowingErrorPage() const {
  switch (state_) {
    case PageState::kErrorPage:
    case PageState::kTlsRefusal:
    case PageState::kTimedOut:
    case PageState::kBlockedPort:
    case PageState::kCrashed:
      return true;
    default:
      return false;
  }
}

void WebPage::Load(const std::string& address) {
  if (address.empty()) return;
  if (core::UsesBlockedPort(address)) {
    ShowBlockedPortPage(address);
    return;
  }
  webkit_web_view_load_uri(view_, address.c_str());
}

void WebPage::LoadHtml(const std::string& html) { webkit_web_view_load_html(view_, html.c_str(), nullptr); }

double WebPage::ZoomLevel() const { return webkit_web_view_get_zoom_level(view_); }
void WebPage::ZoomIn() { SetZoom(core::NextZoomLevel(ZoomLevel(), 1)); }
void WebPage::ZoomOut() { SetZoom(core::NextZoomLevel(ZoomLevel(), -1)); }
void WebPage::ResetZoom() { SetZoom(1.0); }

void WebPage::SetZoom(double level) {
  webkit_web_view_set_zoom_level(view_, level);
  zoom_changed_.emit();
}

Gtk::Window* WebPage::ParentWindow() { return dynamic_cast<Gtk::Window*>(view_widget_->get_root()); }

void WebPage::Print() { PrintPage(view_, ParentWindow()); }

void WebPage::ShowInspector() { webkit_web_inspector_show(webkit_web_view_get_inspector(view_)); }

bool WebPage::CanViewSource() const {
  if (ShowingErrorPage() || state_ == PageState::kEmpty) return false;
  const std::string uri = Uri();
  return webkit_web_view_get_main_resource(view_) != nullptr && !uri.empty() && uri != "about:blank";
}

void WebPage::ViewSource() {
  if (!CanViewSource()) return;
  WebKitWebResource* resource = webkit_web_view_get_main_resource(view_);
  std::string charset;
  if (WebKitURIResponse* response = webkit_web_resource_get_response(resource)) {
    if (SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response)) {
      GHashTable* params = nullptr;
      if (soup_message_headers_get_content_type(headers, &params) != nullptr && params != nullptr) {
        if (const auto* value = static_cast<const char*>(g_hash_table_lookup(params, "charset"))) charset = value;
      }
      if (params != nullptr) g_hash_table_destroy(params);
    }
  }
  using Done = std::function<void(const std::string&)>;
  // The address is the one the bytes belong to, whatever the page shows
  // by the time they arrive.
  auto* done = new Done(lifetime_.Bind([this, address = Uri(), charset](const std::string& source) {
    show_source_.emit(address, core::SourcePageHtml(address, source, charset));
  }));
  webkit_web_resource_get_data(
      resource, nullptr,
      +[](GObject* object, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Done> finish(static_cast<Done*>(data));
        GError* error = nullptr;
        gsize size = 0;
        guchar* bytes = webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(object), result, &size, &error);
        if (bytes == nullptr) {
          core::LogWarning("page source", error != nullptr ? error->message : "no data");
          if (error != nullptr) g_error_free(error);
          return;
        }
        const std::string source(reinterpret_cast<const char*>(bytes), size);
        g_free(bytes);
        Guard("page source", [&] { (*finish)(source); });
      },
      done);
}

std::string WebPage::SessionState() const {
  WebKitWebViewSessionState* state = webkit_web_view_get_session_state(view_);
  GBytes* bytes = webkit_web_view_session_state_serialize(state);
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::string result(data != nullptr ? data : "", size);
  g_bytes_unref(bytes);
  webkit_web_view_session_state_unref(state);
  return result;
}

void WebPage::Restore(const std::string& uri, const std::string& state) {
  if (!state.empty()) {
    GBytes* bytes = g_bytes_new(state.data(), state.size());
    // The engine checks the bytes: a damaged record gives null.
    WebKitWebViewSessionState* session = webkit_web_view_session_state_new(bytes);
    g_bytes_unref(bytes);
    if (session != nullptr) {
      webkit_web_view_restore_session_state(view_, session);
      webkit_web_view_session_state_unref(session);
      WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(view_);
      if (WebKitBackForwardListItem* item = webkit_back_forward_list_get_current_item(list)) {
        webkit_web_view_go_to_back_forward_list_item(view_, item);
        return;
      }
    }
  }
  Load(uri);
}

std::string WebPage::Uri() const {
  if (state_ == PageState::kBlockedPort) return blocked_uri_;
  const char* uri = webkit_web_view_get_uri(view_);
  return uri != nullptr ? uri : "";
}

std::string WebPage::Title() const {
  if (state_ == PageState::kBlockedPort) return core::kErrorPageTitle;
  const char* title = webkit_web_view_get_title(view_);
  return title != nullptr ? title : "";
}

GdkTexture* WebPage::Favicon() const { return webkit_web_view_get_favicon(view_); }

void WebPage::GoBack() { webkit_web_view_go_back(view_); }
void WebPage::GoForward() { webkit_web_view_go_forward(view_); }
void WebPage::Reload() { webkit_web_view_reload(view_); }
void WebPage::Stop() { webkit_web_view_stop_loading(view_); }
void WebPage::Focus() { gtk_widget_grab_focus(GTK_WIDGET(view_)); }
bool WebPage::IsLoading() const { return webkit_web_view_is_loading(view_) != FALSE; }
bool WebPage::CanGoBack() const { return webkit_web_view_can_go_back(view_) != FALSE; }
bool WebPage::CanGoForward() const { return webkit_web_view_can_go_forward(view_) != FALSE; }

double WebPage::LoadProgress() const {
  // Gzip-encoded pages can report more than 1 (the length is the compressed one).
  return std::clamp(webkit_web_view_get_estimated_load_progress(view_), 0.0, 1.0);
}

void WebPage::OnMouseTargetChanged(WebKitHitTestResult* hit) {
  const char* link = nullptr;
  if (webkit_hit_test_result_context_is_link(hit)) link = webkit_hit_test_result_get_link_uri(hit);
  status_text_.emit(link != nullptr ? link : "");
}

GtkWidget* WebPage::OnCreate() {
  if (!create_handler_) return nullptr;
  WebKitWebView* view = create_handler_(*this);
  return view != nullptr ? GTK_WIDGET(view) : nullptr;
}

bool WebPage::OnDecidePolicy(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    // What no page can show is saved instead; left alone, WebKit would drop
    // it without a word.
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (webkit_response_policy_decision_is_main_frame_main_resource(response) &&
        !webkit_response_policy_decision_is_mime_type_supported(response)) {
      webkit_policy_decision_download(decision);
      return true;
    }
    return false;
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const bool link = webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED;
    const bool middle = webkit_navigation_action_get_mouse_button(action) == GDK_BUTTON_MIDDLE;
    const bool ctrl = (webkit_navigation_action_get_modifiers(action) & GDK_CONTROL_MASK) != 0;
    if (link && (middle || ctrl)) {
      const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
      webkit_policy_decision_ignore(decision);
      if (uri != nullptr) open_in_background_.emit(uri);
      return true;
    }
    return profile_.HoldNavigation(decision);
  }
  return false;
}

void WebPage::OnLoadChanged(WebKitLoadEvent event) {
  switch (event) {
    case WEBKIT_LOAD_STARTED:
      if (error_page_requested_) break;  // our own error page
      blocked_uri_.clear();
      g_clear_object(&tls_certificate_);
      pending_uri_ = Uri();
      SetState(PageState::kLoading);
      ArmLoadTimeout();
      break;
    case WEBKIT_LOAD_COMMITTED:
      load_timeout_.disconnect();
      // The error page's commit is no visit; the page keeps its error state.
      if (error_page_requested_) {
        error_page_requested_ = false;
      } else if (state_ == PageState::kLoading) {
        SetState(PageState::kShown);
        page_committed_.emit();
      }
      break;
    case WEBKIT_LOAD_FINISHED:
      load_timeout_.disconnect();
      break;
    default:
      break;
  }
}

bool WebPage::OnLoadFailed(const char* uri, GError* error) {
  load_timeout_.disconnect();
  const core::LoadProblem problem = ClassifyLoadError(error);
  if (IsNotAFailure(error)) return true;  // stopped, or became a download: no page
  const std::string address = uri != nullptr ? uri : pending_uri_;
  ShowErrorPage(PageState::kErrorPage, address, core::kErrorPageTitle,
                core::LoadProblemText(problem, core::HostOf(address), error != nullptr ? error->message : ""));
  return true;
}

bool WebPage::OnLoadFailedWithTlsErrors(const char* uri, GTlsCertificate* certificate, GTlsCertificateFlags flags) {
  load_timeout_.disconnect();
  const std::string address = uri != nullptr ? uri : pending_uri_;
  // Continuing is the user's deliberate choice, offered beside the page,
  // never by the page itself.
  ShowErrorPage(PageState::kTlsRefusal, address, core::kTlsErrorPageTitle, core::TlsProblemText(flags));
  g_set_object(&tls_certificate_, certificate);
  tls_host_ = core::HostOf(address);
  tls_uri_ = address;
  return true;
}

void WebPage::ContinueInsecurely() {
  if (state_ != PageState::kTlsRefusal || tls_certificate_ == nullptr || tls_host_.empty()) return;
  profile_.AllowCertificateForHost(tls_certificate_, tls_host_);
  const std::string uri = tls_uri_;
  Load(uri);
}

bool WebPage::OnPermissionRequest(WebKitPermissionRequest* request) {
  return profile_.AskPermission(request, core::HostOf(Uri()), ParentWindow());
}

void WebPage::OnWebProcessTerminated(WebKitWebProcessTerminationReason reason) {
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;
  load_timeout_.disconnect();
  const core::LoadProblem problem = reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT
                                        ? core::LoadProblem::kOutOfMemory
                                        : core::LoadProblem::kCrashed;
  ShowErrorPage(PageState::kCrashed, Uri(), core::kErrorPageTitle, core::LoadProblemText(problem, ""));
}

void WebPage::ArmLoadTimeout() {
  load_timeout_.disconnect();
  if (page_timeout_ms_ <= 0) return;
  // The connection is the page's: it goes with the page, and with the load's end.
  load_timeout_ = Glib::signal_timeout().connect(
      [this] {
        const std::string uri = Uri();
        webkit_web_view_stop_loading(view_);
        ShowErrorPage(PageState::kTimedOut, uri, core::kErrorPageTitle,
                      core::LoadProblemText(core::LoadProblem::kTimedOut, core::HostOf(uri)));
        return false;
      },
      static_cast<unsigned>(page_timeout_ms_));
}

void WebPage::ShowBlockedPortPage(const std::string& uri) {
  // The engine loads nothing at such a port, not even a page of ours with it
  // as its address: the tab covers the view with the message instead and
  // the page keeps the address asked for.
  webkit_web_view_stop_loading(view_);
  blocked_uri_ = uri;
  SetState(PageState::kBlockedPort);
  uri_changed_.emit();
  title_changed_.emit();
}

void WebPage::ShowErrorPage(PageState state, const std::string& uri, const std::string& title,
                            const std::string& message) {
  const std::string html = core::ErrorPageHtml(title, message, uri, "请检查网址和网络连接，然后刷新重试。");
  error_page_requested_ = true;
  SetState(state);
  // The error page stands at the failed address, so the address box keeps
  // it and refresh tries it again.
  webkit_web_view_load_alternate_html(view_, html.c_str(), uri.empty() ? "about:blank" : uri.c_str(), nullptr);
}

}  // namespace nuve::ui
