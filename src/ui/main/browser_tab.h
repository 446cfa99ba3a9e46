#pragma once
// One tab: its web view and its header (site icon, caption, close button).
// Everything that belongs to one page lives here; the tab strip only orders
// the tabs. Start reading at ConnectWebView(), which lists every WebKit
// signal the tab listens to.

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/main/g_signal_connection.h"

namespace nuve::ui {

struct BrowserTabCallbacks;

class BrowserTab {
 public:
  // A tab with a fresh view on the program's session and settings.
  BrowserTab(WebKitNetworkSession* session, WebKitSettings* settings, int page_timeout_ms);
  // A tab for a page that `parent` asked to open (window.open, target=_blank):
  // the view is related to the parent's and WebKit loads it by itself.
  BrowserTab(WebKitWebView* parent, int page_timeout_ms);
  ~BrowserTab();
  BrowserTab(const BrowserTab&) = delete;
  BrowserTab& operator=(const BrowserTab&) = delete;

  Gtk::Widget& page() { return *page_; }
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

  // Raised when the page's title, address or icon change (caption, tooltip
  // and icon of this tab are already updated when it fires).
  sigc::signal<void()>& signal_title_changed() { return title_changed_; }
  sigc::signal<void()>& signal_uri_changed() { return uri_changed_; }
  // The link under the pointer ("" when it leaves a link).
  sigc::signal<void(const std::string&)>& signal_status_text() { return status_text_; }
  // The close button was clicked, or the page closed itself (window.close).
  sigc::signal<void()>& signal_close_requested() { return close_requested_; }
  // The page asks for a new window; the handler returns the new tab's view.
  void set_create_handler(std::function<WebKitWebView*(BrowserTab&)> handler) {
    create_handler_ = std::move(handler);
  }

 private:
  friend struct BrowserTabCallbacks;

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
  void OnLoadChanged(WebKitLoadEvent event);
  bool OnLoadFailed(const char* uri, GError* error);
  void OnWebProcessTerminated(WebKitWebProcessTerminationReason reason);

  WebKitWebView* view_ = nullptr;  // strong reference, taken at creation
  Gtk::Widget* page_ = nullptr;    // the view's wrapper, owned by the view
  Gtk::Box header_{Gtk::Orientation::HORIZONTAL, 4};
  Gtk::Image icon_;
  Gtk::Label caption_;
  Gtk::Button close_button_;
  int page_timeout_ms_;
  sigc::connection load_timeout_;
  std::vector<GSignalConnection> connections_;
  std::function<WebKitWebView*(BrowserTab&)> create_handler_;
  sigc::signal<void()> title_changed_;
  sigc::signal<void()> uri_changed_;
  sigc::signal<void(const std::string&)> status_text_;
  sigc::signal<void()> close_requested_;
};

}  // namespace nuve::ui
