#pragma once
// One tab: a container holding its web view, with room for what belongs to
// one page (the find bar, the zoom level shown over the page, error pages),
// and its header (site icon or a turning loading icon, caption, close button). The
// tab strip only orders the tabs and knows each by its identity. Start
// reading at ConnectWebView(), which lists every WebKit signal the tab
// listens to.

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/main/find_bar.h"
#include "ui/main/g_signal_connection.h"

namespace nuve::ui {

class EngineProfile;
struct BrowserTabCallbacks;

class BrowserTab {
 public:
  using Id = std::uint64_t;

  // A tab with a fresh view on the profile.
  BrowserTab(Id id, EngineProfile& profile, int page_timeout_ms);
  // A tab for a page that `parent` asked to open (window.open, target=_blank):
  // the view is related to the parent's and WebKit loads it by itself.
  BrowserTab(Id id, EngineProfile& profile, WebKitWebView* parent, int page_timeout_ms);
  ~BrowserTab();
  BrowserTab(const BrowserTab&) = delete;
  BrowserTab& operator=(const BrowserTab&) = delete;

  // Stays the same for the tab's whole life, wherever the tab moves.
  Id id() const { return id_; }
  // The container the tab strip shows as the tab's page.
  Gtk::Widget& page() { return root_; }
  Gtk::Widget& header() { return header_; }
  WebKitWebView* view() const { return view_; }

  void Load(const std::string& address);
  // The engine's record of this tab's back/forward list, as bytes.
  std::string SessionState() const;
  // Puts a recorded back/forward list back and loads its current page;
  // without a usable record, loads `uri`.
  void Restore(const std::string& uri, const std::string& state);
  std::string Uri() const;
  std::string Title() const;
  void GoBack();
  void GoForward();
  void Reload();
  void Stop();
  void FocusPage();
  void SetCloseButtonVisible(bool visible);
  bool IsLoading() const;
  bool CanGoBack() const;
  bool CanGoForward() const;
  // Zoom of this tab's page; the level shows over the page unless it is 100%.
  void ZoomIn();
  void ZoomOut();
  void ResetZoom();
  double ZoomLevel() const;
  bool ShowsZoomLevel() const { return zoom_button_.get_visible(); }
  // Find in page.
  FindBar& find_bar() { return *find_bar_; }
  // Prints the page (the print dialog first).
  void Print();
  // Opens the web inspector for this page (developer tools are turned on for the profile).
  void ShowInspector();

  // The tab shows one of our error pages (failed load, certificate, crash).
  bool ShowingErrorPage() const { return showing_error_page_ || error_page_pending_ || !blocked_uri_.empty(); }
  // The certificate problem bar is offered.
  bool OffersToContinueInsecurely() const { return tls_bar_.get_visible(); }
  void ContinueInsecurely() { OnContinueInsecurely(); }
  // 0..1 while loading.
  double LoadProgress() const;

  // Raised when the page's title, address or icon change (caption, tooltip
  // and icon of this tab are already updated when it fires).
  sigc::signal<void()>& signal_title_changed() { return title_changed_; }
  sigc::signal<void()>& signal_uri_changed() { return uri_changed_; }
  // Loading started or ended, its progress moved, or the back/forward list changed.
  sigc::signal<void()>& signal_load_state_changed() { return load_state_changed_; }
  // A page (not an error page) was committed: one more visit.
  sigc::signal<void()>& signal_page_committed() { return page_committed_; }
  // The link under the pointer ("" when it leaves a link).
  sigc::signal<void(const std::string&)>& signal_status_text() { return status_text_; }
  // The close button was clicked, or the page closed itself (window.close).
  sigc::signal<void()>& signal_close_requested() { return close_requested_; }
  // A link the user middle-clicked (or Ctrl+clicked): open it in a background tab.
  sigc::signal<void(const std::string&)>& signal_open_in_background() { return open_in_background_; }
  // The page asks for a new window; the handler returns the new tab's view.
  void set_create_handler(std::function<WebKitWebView*(BrowserTab&)> handler) {
    create_handler_ = std::move(handler);
  }

 private:
  friend struct BrowserTabCallbacks;

  void BuildPage();
  void BuildHeader();
  void ConnectWebView();
  void UpdateCaption();
  void UpdateIcon();
  void ShowErrorPage(const std::string& uri, const std::string& title, const std::string& message);
  void OnContinueInsecurely();
  void ShowBlockedPortPage(const std::string& uri);
  void SetZoom(double level);
  void HideBlockedPortPage();
  void ArmLoadTimeout();

  // Handlers of the WebKit signals, called by the trampolines.
  void OnTitleChanged();
  void OnUriChanged();
  void OnFaviconChanged();
  void OnMouseTargetChanged(WebKitHitTestResult* hit);
  GtkWidget* OnCreate();
  bool OnDecidePolicy(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
  void OnLoadChanged(WebKitLoadEvent event);
  void OnLoadingChanged();
  bool OnLoadFailed(const char* uri, GError* error);
  bool OnLoadFailedWithTlsErrors(const char* uri, GTlsCertificate* certificate, GTlsCertificateFlags flags);
  bool OnPermissionRequest(WebKitPermissionRequest* request);
  void OnWebProcessTerminated(WebKitWebProcessTerminationReason reason);

  Id id_;
  EngineProfile& profile_;
  WebKitWebView* view_ = nullptr;  // strong reference, taken at creation
  Gtk::Widget* view_widget_ = nullptr;  // the view's wrapper, owned by the view
  Gtk::Box root_{Gtk::Orientation::VERTICAL};
  Gtk::Box tls_bar_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Label tls_message_{"此网站的证书未通过检查，连接可能被他人窃听或篡改。"};
  Gtk::Button tls_continue_{"继续访问（不安全）"};
  Gtk::Overlay overlay_;
  Gtk::Button zoom_button_;
  std::unique_ptr<FindBar> find_bar_;
  // The page for a port no browser contacts, drawn over the view.
  Gtk::Box blocked_page_{Gtk::Orientation::VERTICAL};
  Gtk::Label blocked_heading_{"无法显示此网页"};
  Gtk::Label blocked_message_;
  Gtk::Box header_{Gtk::Orientation::HORIZONTAL, 4};
  Gtk::Image icon_;  // the site icon, or a turning "loading" icon
  Gtk::Label caption_;
  Gtk::Button close_button_;
  int page_timeout_ms_;
  sigc::connection load_timeout_;
  // The address the current load asked for (the view's own address goes
  // back to the last page when a load fails).
  std::string pending_uri_;
  // Our error page is on its way, or on screen.
  bool error_page_pending_ = false;
  bool showing_error_page_ = false;
  // The address asked for while the blocked-port page is shown; "" otherwise.
  std::string blocked_uri_;
  // The failing certificate of the page shown, kept for the user's choice to continue.
  GTlsCertificate* tls_certificate_ = nullptr;
  std::string tls_host_;
  std::string tls_uri_;
  std::vector<GSignalConnection> connections_;
  std::function<WebKitWebView*(BrowserTab&)> create_handler_;
  sigc::signal<void()> title_changed_;
  sigc::signal<void()> uri_changed_;
  sigc::signal<void()> load_state_changed_;
  sigc::signal<void()> page_committed_;
  sigc::signal<void(const std::string&)> status_text_;
  sigc::signal<void()> close_requested_;
  sigc::signal<void(const std::string&)> open_in_background_;
};

}  // namespace nuve::ui
