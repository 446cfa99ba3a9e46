#include "ui/main/browser_tab.h"

#include <algorithm>

#include "core/app/address.h"
#include "core/app/error_page.h"
#include "core/app/log.h"
#include "core/app/tab_caption.h"
#include "core/app/zoom_levels.h"
#include "ui/app/accessible.h"
#include "ui/main/page_printer.h"
#include "ui/app/guard.h"
#include "ui/engine/engine_profile.h"

namespace nuve::ui {
namespace {

constexpr char kDefaultIcon[] = "text-html-symbolic";

BrowserTab* Self(gpointer data) { return static_cast<BrowserTab*>(data); }

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

// Trampolines, one per WebKit signal. They only forward to the tab.
struct BrowserTabCallbacks {
  static void NotifyTitleCb(GObject*, GParamSpec*, gpointer self) noexcept {
    Guard("notify::title", [&] { Self(self)->OnTitleChanged(); });
  }
  static void NotifyUriCb(GObject*, GParamSpec*, gpointer self) noexcept {
    Guard("notify::uri", [&] { Self(self)->OnUriChanged(); });
  }
  static void NotifyFaviconCb(GObject*, GParamSpec*, gpointer self) noexcept {
    Guard("notify::favicon", [&] { Self(self)->OnFaviconChanged(); });
  }
  static void MouseTargetChangedCb(WebKitWebView*, WebKitHitTestResult* hit, guint,
                                   gpointer self) noexcept {
    Guard("mouse-target-changed", [&] { Self(self)->OnMouseTargetChanged(hit); });
  }
  static GtkWidget* CreateCb(WebKitWebView*, WebKitNavigationAction*, gpointer self) noexcept {
    return Guard("create", [&] { return Self(self)->OnCreate(); });
  }
  static void CloseCb(WebKitWebView*, gpointer self) noexcept {
    Guard("close", [&] { Self(self)->signal_close_requested().emit(); });
  }
  static gboolean DecidePolicyCb(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer self) noexcept {
    return Guard("decide-policy", [&] { return static_cast<gboolean>(Self(self)->OnDecidePolicy(decision, type)); });
  }
  static void LoadChangedCb(WebKitWebView*, WebKitLoadEvent event, gpointer self) noexcept {
    Guard("load-changed", [&] { Self(self)->OnLoadChanged(event); });
  }
  static void BackForwardChangedCb(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer, gpointer self) noexcept {
    Guard("back-forward changed", [&] { Self(self)->load_state_changed_.emit(); });
  }
  static void NotifyLoadingCb(GObject*, GParamSpec*, gpointer self) noexcept {
    Guard("notify::is-loading", [&] { Self(self)->OnLoadingChanged(); });
  }
  static gboolean LoadFailedCb(WebKitWebView*, WebKitLoadEvent, char* uri, GError* error,
                               gpointer self) noexcept {
    return Guard("load-failed", [&] { return static_cast<gboolean>(Self(self)->OnLoadFailed(uri, error)); });
  }
  static gboolean LoadFailedWithTlsErrorsCb(WebKitWebView*, char* uri, GTlsCertificate* certificate,
                                            GTlsCertificateFlags flags, gpointer self) noexcept {
    return Guard("load-failed-with-tls-errors", [&] {
      return static_cast<gboolean>(Self(self)->OnLoadFailedWithTlsErrors(uri, certificate, flags));
    });
  }
  static gboolean PermissionRequestCb(WebKitWebView*, WebKitPermissionRequest* request, gpointer self) noexcept {
    return Guard("permission-request", [&] { return static_cast<gboolean>(Self(self)->OnPermissionRequest(request)); });
  }
  static void WebProcessTerminatedCb(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                     gpointer self) noexcept {
    Guard("web-process-terminated", [&] { Self(self)->OnWebProcessTerminated(reason); });
  }
};

BrowserTab::BrowserTab(Id id, EngineProfile& profile, int page_timeout_ms)
    : id_(id), profile_(profile), page_timeout_ms_(page_timeout_ms) {
  view_ = profile_.CreateView();
  // The tab, not the widget tree, decides when the view goes away.
  g_object_ref_sink(view_);
  BuildPage();
  BuildHeader();
  ConnectWebView();
}

BrowserTab::BrowserTab(Id id, EngineProfile& profile, WebKitWebView* parent, int page_timeout_ms)
    : id_(id), profile_(profile), page_timeout_ms_(page_timeout_ms) {
  view_ = profile_.CreateRelatedView(parent);
  g_object_ref_sink(view_);
  BuildPage();
  BuildHeader();
  ConnectWebView();
}

BrowserTab::~BrowserTab() {
  load_timeout_.disconnect();
  connections_.clear();
  webkit_web_view_stop_loading(view_);
  // The tab strip has taken the page out of the notebook; the view leaves
  // the container before the last reference goes.
  find_bar_.reset();
  overlay_.unset_child();
  g_clear_object(&tls_certificate_);
  g_object_unref(view_);
}

void BrowserTab::BuildPage() {
  view_widget_ = Glib::wrap(GTK_WIDGET(view_));
  view_widget_->set_hexpand(true);
  view_widget_->set_vexpand(true);
  overlay_.set_child(*view_widget_);
  // Escape stops a load while the page has the focus. The page sees the key
  // too (its own dialogs close on it), and the engine does not pass Escape
  // on to the window while a load is under way.
  auto keys = Gtk::EventControllerKey::create();
  keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  keys->signal_key_pressed().connect(
      [this](guint keyval, guint, Gdk::ModifierType) {
        if (keyval == GDK_KEY_Escape && IsLoading()) Stop();
        return false;
      },
      false);
  view_widget_->add_controller(keys);
  overlay_.set_hexpand(true);
  overlay_.set_vexpand(true);
  // The bar that offers to continue past a failing certificate, hidden
  // unless this tab shows that problem.
  tls_bar_.set_name("tls-bar");
  tls_bar_.add_css_class("toolbar");
  tls_message_.set_hexpand(true);
  tls_message_.set_xalign(0);
  tls_message_.set_wrap(true);
  tls_continue_.set_name("tls-continue");
  tls_continue_.add_css_class("destructive-action");
  tls_continue_.signal_clicked().connect(sigc::mem_fun(*this, &BrowserTab::OnContinueInsecurely));
  tls_bar_.append(tls_message_);
  tls_bar_.append(tls_continue_);
  tls_bar_.set_visible(false);
  root_.append(tls_bar_);
  // The zoom level, over the page's top right corner; a click resets it.
  zoom_button_.set_name("zoom-level");
  zoom_button_.add_css_class("osd");
  zoom_button_.set_halign(Gtk::Align::END);
  zoom_button_.set_valign(Gtk::Align::START);
  zoom_button_.set_margin(8);
  zoom_button_.set_tooltip_text("恢复默认大小 (Ctrl+0)");
  zoom_button_.set_focus_on_click(false);
  zoom_button_.set_visible(false);
  zoom_button_.signal_clicked().connect(sigc::mem_fun(*this, &BrowserTab::ResetZoom));
  overlay_.add_overlay(zoom_button_);
  find_bar_ = std::make_unique<FindBar>(view_);
  blocked_page_.set_name("error-page");
  blocked_page_.add_css_class("view");
  blocked_page_.set_hexpand(true);
  blocked_page_.set_vexpand(true);
  blocked_page_.set_margin(0);
  blocked_heading_.add_css_class("title-1");
  blocked_heading_.set_xalign(0);
  blocked_message_.set_xalign(0);
  blocked_message_.set_wrap(true);
  blocked_message_.set_selectable(true);
  auto* column = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 12);
  column->set_margin(48);
  column->append(blocked_heading_);
  column->append(blocked_message_);
  blocked_page_.append(*column);
  blocked_page_.set_visible(false);
  overlay_.add_overlay(blocked_page_);
  root_.append(overlay_);
  root_.append(*find_bar_);
}

void BrowserTab::BuildHeader() {
  icon_.set_pixel_size(16);
  icon_.set_from_icon_name(kDefaultIcon);
  caption_.set_text(core::NewTabCaption());
  // Captions are padded with blanks to a fixed width; a monospace face makes
  // that width the same for every tab.
  caption_.add_css_class("monospace");
  SetIconButton(close_button_, "window-close-symbolic", "关闭选项卡");
  close_button_.set_has_frame(false);
  close_button_.set_name("图形按钮6");
  close_button_.set_visible(false);
  close_button_.signal_clicked().connect([this] { close_requested_.emit(); });
  // While the page loads, a turning icon stands where the site icon is (the
  // window's style sheet turns it). A GtkSpinner there upsets the notebook's
  // scroll arrows in GTK 4.8.
  header_.append(icon_);
  header_.append(caption_);
  header_.append(close_button_);
}

void BrowserTab::ConnectWebView() {
  using C = BrowserTabCallbacks;
  auto connect = [this](const char* signal, GCallback cb) { connections_.emplace_back(view_, signal, cb, this); };
  connect("notify::title", G_CALLBACK(C::NotifyTitleCb));
  connect("notify::uri", G_CALLBACK(C::NotifyUriCb));
  connect("notify::favicon", G_CALLBACK(C::NotifyFaviconCb));
  connect("mouse-target-changed", G_CALLBACK(C::MouseTargetChangedCb));
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
}

void BrowserTab::Load(const std::string& address) {
  if (address.empty()) return;
  if (core::UsesBlockedPort(address)) {
    ShowBlockedPortPage(address);
    return;
  }
  webkit_web_view_load_uri(view_, address.c_str());
}

double BrowserTab::ZoomLevel() const { return webkit_web_view_get_zoom_level(view_); }
void BrowserTab::ZoomIn() { SetZoom(core::NextZoomLevel(ZoomLevel(), 1)); }
void BrowserTab::ZoomOut() { SetZoom(core::NextZoomLevel(ZoomLevel(), -1)); }
void BrowserTab::ResetZoom() { SetZoom(1.0); }

void BrowserTab::SetZoom(double level) {
  webkit_web_view_set_zoom_level(view_, level);
  const bool shown = !core::IsDefaultZoom(level);
  const std::string text = core::ZoomText(level);
  zoom_button_.set_label(text);
  SetAccessibleLabel(zoom_button_, "缩放 " + text);
  zoom_button_.set_visible(shown);
}

void BrowserTab::Print() { PrintPage(view_, dynamic_cast<Gtk::Window*>(root_.get_root())); }

void BrowserTab::ShowInspector() { webkit_web_inspector_show(webkit_web_view_get_inspector(view_)); }

std::string BrowserTab::SessionState() const {
  WebKitWebViewSessionState* state = webkit_web_view_get_session_state(view_);
  GBytes* bytes = webkit_web_view_session_state_serialize(state);
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::string result(data != nullptr ? data : "", size);
  g_bytes_unref(bytes);
  webkit_web_view_session_state_unref(state);
  return result;
}

void BrowserTab::Restore(const std::string& uri, const std::string& state) {
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

std::string BrowserTab::Uri() const {
  if (!blocked_uri_.empty()) return blocked_uri_;
  const char* uri = webkit_web_view_get_uri(view_);
  return uri != nullptr ? uri : "";
}

std::string BrowserTab::Title() const {
  if (!blocked_uri_.empty()) return core::kErrorPageTitle;
  const char* title = webkit_web_view_get_title(view_);
  return title != nullptr ? title : "";
}

void BrowserTab::GoBack() { webkit_web_view_go_back(view_); }
void BrowserTab::GoForward() { webkit_web_view_go_forward(view_); }
void BrowserTab::Reload() { webkit_web_view_reload(view_); }
void BrowserTab::Stop() { webkit_web_view_stop_loading(view_); }
void BrowserTab::FocusPage() { gtk_widget_grab_focus(GTK_WIDGET(view_)); }
void BrowserTab::SetCloseButtonVisible(bool visible) { close_button_.set_visible(visible); }
bool BrowserTab::IsLoading() const { return webkit_web_view_is_loading(view_) != FALSE; }
bool BrowserTab::CanGoBack() const { return webkit_web_view_can_go_back(view_) != FALSE; }
bool BrowserTab::CanGoForward() const { return webkit_web_view_can_go_forward(view_) != FALSE; }

double BrowserTab::LoadProgress() const {
  // Gzip-encoded pages can report more than 1 (the length is the compressed one).
  return std::clamp(webkit_web_view_get_estimated_load_progress(view_), 0.0, 1.0);
}

void BrowserTab::OnLoadingChanged() {
  const bool loading = IsLoading();
  if (loading != icon_.has_css_class("loading")) {
    if (loading) {
      icon_.add_css_class("loading");
      icon_.set_from_icon_name("process-working-symbolic");
    } else {
      icon_.remove_css_class("loading");
      UpdateIcon();
    }
  }
  load_state_changed_.emit();
}

void BrowserTab::UpdateCaption() {
  const std::string title = Title();
  caption_.set_text(core::TabCaption(title));
  header_.set_tooltip_text(title + "\r\n" + Uri());
}

void BrowserTab::UpdateIcon() {
  if (icon_.has_css_class("loading")) return;  // the site icon shows once the page has loaded
  GdkTexture* texture = webkit_web_view_get_favicon(view_);
  if (texture != nullptr) {
    // The texture belongs to the view: take a reference of our own.
    icon_.set(Glib::wrap(GDK_PAINTABLE(texture), true));
  } else {
    icon_.set_from_icon_name(kDefaultIcon);
  }
}

void BrowserTab::OnTitleChanged() {
  UpdateCaption();
  title_changed_.emit();
}

void BrowserTab::OnUriChanged() {
  header_.set_tooltip_text(Title() + "\r\n" + Uri());
  uri_changed_.emit();
}

void BrowserTab::OnFaviconChanged() { UpdateIcon(); }

void BrowserTab::OnMouseTargetChanged(WebKitHitTestResult* hit) {
  const char* link = nullptr;
  if (webkit_hit_test_result_context_is_link(hit)) link = webkit_hit_test_result_get_link_uri(hit);
  status_text_.emit(link != nullptr ? link : "");
}

GtkWidget* BrowserTab::OnCreate() {
  if (!create_handler_) return nullptr;
  WebKitWebView* view = create_handler_(*this);
  return view != nullptr ? GTK_WIDGET(view) : nullptr;
}

bool BrowserTab::OnDecidePolicy(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
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
  }
  return false;
}

void BrowserTab::OnLoadChanged(WebKitLoadEvent event) {
  switch (event) {
    case WEBKIT_LOAD_STARTED:
      if (error_page_pending_) break;  // our own error page
      showing_error_page_ = false;
      HideBlockedPortPage();
      tls_bar_.set_visible(false);
      g_clear_object(&tls_certificate_);
      pending_uri_ = Uri();
      ArmLoadTimeout();
      break;
    case WEBKIT_LOAD_COMMITTED:
      load_timeout_.disconnect();
      if (error_page_pending_) {
        error_page_pending_ = false;
        showing_error_page_ = true;
      } else {
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

bool BrowserTab::OnLoadFailed(const char* uri, GError* error) {
  load_timeout_.disconnect();
  const core::LoadProblem problem = ClassifyLoadError(error);
  if (IsNotAFailure(error)) return true;  // stopped, or became a download: no page
  const std::string address = uri != nullptr ? uri : pending_uri_;
  ShowErrorPage(address, core::kErrorPageTitle,
                core::LoadProblemText(problem, core::HostOf(address), error != nullptr ? error->message : ""));
  return true;
}

bool BrowserTab::OnLoadFailedWithTlsErrors(const char* uri, GTlsCertificate* certificate, GTlsCertificateFlags flags) {
  load_timeout_.disconnect();
  const std::string address = uri != nullptr ? uri : pending_uri_;
  g_set_object(&tls_certificate_, certificate);
  tls_host_ = core::HostOf(address);
  tls_uri_ = address;
  ShowErrorPage(address, core::kTlsErrorPageTitle, core::TlsProblemText(flags));
  // Continuing is the user's deliberate choice, offered beside the page,
  // never by the page itself.
  tls_bar_.set_visible(true);
  return true;
}

void BrowserTab::OnContinueInsecurely() {
  if (tls_certificate_ == nullptr || tls_host_.empty()) return;
  profile_.AllowCertificateForHost(tls_certificate_, tls_host_);
  tls_bar_.set_visible(false);
  const std::string uri = tls_uri_;
  Load(uri);
}

bool BrowserTab::OnPermissionRequest(WebKitPermissionRequest* request) {
  return profile_.AskPermission(request, core::HostOf(Uri()), dynamic_cast<Gtk::Window*>(root_.get_root()));
}

void BrowserTab::OnWebProcessTerminated(WebKitWebProcessTerminationReason reason) {
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;
  load_timeout_.disconnect();
  ShowErrorPage(Uri(), core::kErrorPageTitle,
                core::LoadProblemText(reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? core::LoadProblem::kOutOfMemory
                                                                                         : core::LoadProblem::kCrashed,
                                      ""));
}

void BrowserTab::ArmLoadTimeout() {
  load_timeout_.disconnect();
  if (page_timeout_ms_ <= 0) return;
  load_timeout_ = Glib::signal_timeout().connect(
      [this] {
        const std::string uri = Uri();
        webkit_web_view_stop_loading(view_);
        ShowErrorPage(uri, core::kErrorPageTitle,
                      core::LoadProblemText(core::LoadProblem::kTimedOut, core::HostOf(uri)));
        return false;
      },
      static_cast<unsigned>(page_timeout_ms_));
}

void BrowserTab::ShowBlockedPortPage(const std::string& uri) {
  // The engine loads nothing at such a port, not even a page of ours with it
  // as its address: the tab covers its view with the message instead and
  // keeps the address asked for.
  webkit_web_view_stop_loading(view_);
  blocked_uri_ = uri;
  blocked_message_.set_text(core::LoadProblemText(core::LoadProblem::kBlockedPort, "") + "\n" + uri);
  blocked_page_.set_visible(true);
  UpdateCaption();
  uri_changed_.emit();
  title_changed_.emit();
}

void BrowserTab::HideBlockedPortPage() {
  if (blocked_uri_.empty()) return;
  blocked_uri_.clear();
  blocked_page_.set_visible(false);
  UpdateCaption();
}

void BrowserTab::ShowErrorPage(const std::string& uri, const std::string& title, const std::string& message) {
  const std::string html = core::ErrorPageHtml(title, message, uri, "请检查网址和网络连接，然后刷新重试。");
  error_page_pending_ = true;
  // The error page stands at the failed address, so the address box keeps
  // it and refresh tries it again.
  webkit_web_view_load_alternate_html(view_, html.c_str(), uri.empty() ? "about:blank" : uri.c_str(), nullptr);
}

}  // namespace nuve::ui
