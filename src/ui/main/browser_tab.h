#pragma once
// One tab: a container holding its web view, with room for what belongs to
// one page (the find bar, the zoom level shown over the page, error pages),
// and its header (site icon or loading spinner, caption, close button). The
// tab strip only orders the tabs and knows each by its identity. Start
// reading at ConnectWebView(), which lists every WebKit signal the tab
// listens to.

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
  // 0..1 while loading.
  double LoadProgress() const;

  // Raised when the page's title, address or icon change (caption, tooltip
  // and icon of this tab are already updated when it fires).
  sigc::signal<void()>& signal_title_changed() { return title_changed_; }
  sigc::signal<void()>& signal_uri_changed() { return uri_changed_; }
  // Loading started or ended, its progress moved, or the back/forward list changed.
  sigc::signal<void()>& signal_load_state_changed() { return load_state_changed_; }
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
  void ShowErrorPage(const std::string& uri, const std::string& message);
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
  void OnWebProcessTerminated(WebKitWebProcessTerminationReason reason);

  Id id_;
  EngineProfile& profile_;
  WebKitWebView* view_ = nullptr;  // strong reference, taken at creation
  Gtk::Widget* view_widget_ = nullptr;  // the view's wrapper, owned by the view
  Gtk::Box root_{Gtk::Orientation::VERTICAL};
  Gtk::Overlay overlay_;
  Gtk::Box header_{Gtk::Orientation::HORIZONTAL, 4};
  Gtk::Image icon_;
  Gtk::Spinner spinner_;
  Gtk::Label caption_;
  Gtk::Button close_button_;
  int page_timeout_ms_;
  sigc::connection load_timeout_;
  std::vector<GSignalConnection> connections_;
  std::function<WebKitWebView*(BrowserTab&)> create_handler_;
  sigc::signal<void()> title_changed_;
  sigc::signal<void()> uri_changed_;
  sigc::signal<void()> load_state_changed_;
  sigc::signal<void(const std::string&)> status_text_;
  sigc::signal<void()> close_requested_;
  sigc::signal<void(const std::string&)> open_in_background_;
};

}  // namespace nuve::ui
