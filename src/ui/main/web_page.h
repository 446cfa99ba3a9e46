#pragma once
// What one tab shows: its web view, the one place where a view is wired
// (ConnectWebView lists every WebKit signal the page listens to), what the
// page is showing (one PageState), the decisions the page asks the browser
// for (new windows, downloads, middle clicks, permissions), its context
// menu (PageContextMenu) and its back/forward list as the engine records
// it. The page has no widgets of its own besides the view; the tab around
// it (BrowserTab) lays it out with the find bar, the zoom level and the
// certificate bar. Start reading at ConnectWebView().

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/util/task_scope.h"
#include "ui/main/g_signal_connection.h"
#include "ui/main/page_context_menu.h"

namespace nuve::ui {

class EngineProfile;
struct WebPageCallbacks;

// What the page shows. Our own error pages stand at the address that failed,
// so the address box keeps it and refresh tries it again.
enum class PageState {
  kEmpty,        // nothing loaded yet
  kLoading,      // a page is on its way
  kShown,        // a page is on screen
  kErrorPage,    // our page for a load that failed
  kTlsRefusal,   // our page for a certificate that failed the checks; continuing is offered
  kTimedOut,     // our page for a load that took longer than the page time-out
  kBlockedPort,  // a port no browser contacts: nothing loads, the tab covers the view
  kCrashed,      // our page for a web process that ended
};

class WebPage {
 public:
  // A page with a fresh view on the profile.
  WebPage(EngineProfile& profile, int page_timeout_ms);
  // A page that `parent` asked to open (window.open, target=_blank): the
  // view is related to the parent's and WebKit loads it by itself.
  WebPage(EngineProfile& profile, WebKitWebView* parent, int page_timeout_ms);
  ~WebPage();
  WebPage(const WebPage&) = delete;
  WebPage& operator=(const WebPage&) = delete;

  WebKitWebView* view() const { return view_; }
  // The view as a widget, for the tab to lay out.
  Gtk::Widget& widget() { return *view_widget_; }

  void Load(const std::string& address);
  // Shows `html`, a page of our own made here (no address of its own).
  void LoadHtml(const std::string& html);
  // The engine's record of this page's back/forward list, as bytes.
  std::string SessionState() const;
  // Puts a recorded back/forward list back and loads its current page;
  // without a usable record, loads `uri`.
  void Restore(const std::string& uri, const std::string& state);
  std::string Uri() const;
  std::string Title() const;
  // The site icon (owned by the view); null when the page has none.
  GdkTexture* Favicon() const;
  void GoBack();
  void GoForward();
  void Reload();
  void Stop();
  void Focus();
  bool IsLoading() const;
  bool CanGoBack() const;
  bool CanGoForward() const;
  // 0..1 while loading.
  double LoadProgress() const;

  void ZoomIn();
  void ZoomOut();
  void ResetZoom();
  double ZoomLevel() const;

  // Sound: whether the page plays any now, and whether this tab is muted.
  bool IsPlayingAudio() const;
  bool IsMuted() const;
  void SetMuted(bool muted);
  // An element of the page (a video's own button) fills the screen; the
  // window follows. LeaveFullscreen asks the page to give the screen back.
  bool IsFullscreen() const { return fullscreen_; }
  void LeaveFullscreen();

  // Prints the page (the print dialog first).
  void Print();
  // Opens the web inspector for this page (developer tools are turned on for the profile).
  void ShowInspector();

  // The page's own menu (right click).
  PageContextMenu& context_menu() { return *context_menu_; }
  // Whether the page's source can be shown: a page of the web is on
  // screen and the engine holds its bytes.
  bool CanViewSource() const;
  // Reads the page's source as the engine received it (nothing is fetched
  // again) and raises signal_show_source with the page that shows it.
  void ViewSource();

  PageState state() const { return state_; }
  // The page shows one of our error pages (failed load, certificate, time-out, crash, blocked port).
  bool ShowingErrorPage() const;
  // The page refused a certificate; the user may choose to continue.
  bool OffersToContinueInsecurely() const { return state_ == PageState::kTlsRefusal; }
  // Trusts the refused certificate for its host for this run and loads the page again.
  void ContinueInsecurely();

  // Raised when the page's title or address change.
  sigc::signal<void()>& signal_title_changed() { return title_changed_; }
  sigc::signal<void()>& signal_uri_changed() { return uri_changed_; }
  sigc::signal<void()>& signal_favicon_changed() { return favicon_changed_; }
  // Loading started or ended, its progress moved, or the back/forward list changed.
  sigc::signal<void()>& signal_load_state_changed() { return load_state_changed_; }
  // The state() changed.
  sigc::signal<void()>& signal_state_changed() { return state_changed_; }
  // The page started or stopped playing sound, or was muted or unmuted.
  sigc::signal<void()>& signal_audio_changed() { return audio_changed_; }
  // IsFullscreen() changed.
  sigc::signal<void()>& signal_fullscreen_changed() { return fullscreen_changed_; }
  // The zoom level changed.
  sigc::signal<void()>& signal_zoom_changed() { return zoom_changed_; }
  // A page (not an error page) was committed: one more visit.
  sigc::signal<void()>& signal_page_committed() { return page_committed_; }
  // The link under the pointer ("" when it leaves a link).
  sigc::signal<void(const std::string&)>& signal_status_text() { return status_text_; }
  // The page closed itself (window.close).
  sigc::signal<void()>& signal_close_requested() { return close_requested_; }
  // A link the user middle-clicked (or Ctrl+clicked): open it in a background tab.
  sigc::signal<void(const std::string&)>& signal_open_in_background() { return open_in_background_; }
  // The page's source, read by ViewSource: its address and our page showing it.
  sigc::signal<void(const std::string&, const std::string&)>& signal_show_source() { return show_source_; }
  // The page asks for a new window; the handler returns the new page's view.
  void set_create_handler(std::function<WebKitWebView*(WebPage&)> handler) { create_handler_ = std::move(handler); }
  // Messages of NUVE's web process extension for this page; the handler
  // returns whether it took the message.
  void set_message_handler(std::function<bool(WebKitUserMessage*)> handler) { message_handler_ = std::move(handler); }

 private:
  friend struct WebPageCallbacks;

  void Adopt(WebKitWebView* view);
  void ConnectWebView();
  void SetState(PageState state);
  void SetFullscreen(bool fullscreen);
  void ShowErrorPage(PageState state, const std::string& uri, const std::string& title, const std::string& message);
  void ShowBlockedPortPage(const std::string& uri);
  void SetZoom(double level);
  void ArmLoadTimeout();
  Gtk::Window* ParentWindow();

  // Handlers of the WebKit signals, called by the trampolines.
  void OnMouseTargetChanged(WebKitHitTestResult* hit);
  GtkWidget* OnCreate();
  bool OnDecidePolicy(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
  void OnLoadChanged(WebKitLoadEvent event);
  bool OnLoadFailed(const char* uri, GError* error);
  bool OnLoadFailedWithTlsErrors(const char* uri, GTlsCertificate* certificate, GTlsCertificateFlags flags);
  bool OnPermissionRequest(WebKitPermissionRequest* request);
  void OnWebProcessTerminated(WebKitWebProcessTerminationReason reason);

  EngineProfile& profile_;
  WebKitWebView* view_ = nullptr;       // strong reference, taken at creation
  Gtk::Widget* view_widget_ = nullptr;  // the view's wrapper, owned by the view
  int page_timeout_ms_;
  PageState state_ = PageState::kEmpty;
  bool fullscreen_ = false;
  // Our error page has been asked for and has not been committed yet: a
  // load-started meanwhile is that page's, not a new page's.
  bool error_page_requested_ = false;
  sigc::connection load_timeout_;
  // The address the current load asked for (the view's own address goes
  // back to the last page when a load fails), and the one the blocked-port
  // page stands for.
  std::string pending_uri_;
  std::string blocked_uri_;
  // The failing certificate of the page shown, kept for the user's choice to continue.
  GTlsCertificate* tls_certificate_ = nullptr;
  std::string tls_host_;
  std::string tls_uri_;
  std::vector<GSignalConnection> connections_;
  std::function<WebKitWebView*(WebPage&)> create_handler_;
  std::function<bool(WebKitUserMessage*)> message_handler_;
  sigc::signal<void()> title_changed_;
  sigc::signal<void()> uri_changed_;
  sigc::signal<void()> favicon_changed_;
  sigc::signal<void()> load_state_changed_;
  sigc::signal<void()> state_changed_;
  sigc::signal<void()> zoom_changed_;
  sigc::signal<void()> audio_changed_;
  sigc::signal<void()> fullscreen_changed_;
  sigc::signal<void()> page_committed_;
  sigc::signal<void(const std::string&)> status_text_;
  sigc::signal<void()> close_requested_;
  sigc::signal<void(const std::string&)> open_in_background_;
  sigc::signal<void(const std::string&, const std::string&)> show_source_;
  std::unique_ptr<PageContextMenu> context_menu_;
  // Late engine answers (the source's bytes) are bound to the page's life.
  core::TaskScope lifetime_;
};

}  // namespace nuve::ui
