#pragma once
// One tab: the page (WebPage: the view and everything it decides), its
// header in the strip (TabHeader), and the container that lays the page out
// with what belongs to it on screen: the certificate bar and the bar that
// offers to save a password above it, the zoom level and the blocked-port
// message over it, the find bar below it. The tab strip only orders the
// tabs and knows each by its identity.

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ui/main/find_bar.h"
#include "ui/main/tab_header.h"
#include "ui/main/web_page.h"
#include "ui/passwords/page_passwords.h"
#include "ui/passwords/save_password_bar.h"

namespace nuve::ui {

class EngineProfile;

class BrowserTab {
 public:
  using Id = std::uint64_t;

  // A tab with a fresh view on the profile.
  BrowserTab(Id id, EngineProfile& profile, int page_timeout_ms);
  // A tab for a page that `parent` asked to open (window.open, target=_blank).
  BrowserTab(Id id, EngineProfile& profile, WebKitWebView* parent, int page_timeout_ms);
  // A tab around a page made before it (a start page made ready).
  BrowserTab(Id id, std::unique_ptr<WebPage> page, EngineProfile& profile);
  ~BrowserTab();
  BrowserTab(const BrowserTab&) = delete;
  BrowserTab& operator=(const BrowserTab&) = delete;

  // Stays the same for the tab's whole life, wherever the tab moves.
  Id id() const { return id_; }
  WebPage& page() { return *page_; }
  const WebPage& page() const { return *page_; }
  TabHeader& header() { return header_; }
  // The container the tab strip shows as the tab's page.
  Gtk::Widget& widget() { return root_; }
  FindBar& find_bar() { return *find_bar_; }
  // The page's saved passwords and the bar that offers to save one.
  PagePasswords& passwords() { return *passwords_; }
  SavePasswordBar& password_bar() { return password_bar_; }

  // Mutes the tab's sound, or turns it on again (the header's speaker).
  void ToggleMuted();

  // The zoom level shows over the page unless it is 100%.
  bool ShowsZoomLevel() const { return zoom_button_.get_visible(); }

 private:
  void Build();
  void Wire();
  void UpdateHeaderTitle();
  void OnStateChanged();
  void OnZoomChanged();
  void OnPasswordOfferChanged();

  Id id_;
  std::unique_ptr<WebPage> page_;
  Gtk::Box root_{Gtk::Orientation::VERTICAL};
  Gtk::Box tls_bar_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Label tls_message_{"此网站的证书未通过检查，连接可能被他人窃听或篡改。"};
  Gtk::Button tls_continue_{"继续访问（不安全）"};
  SavePasswordBar password_bar_;
  Gtk::Overlay overlay_;
  Gtk::Button zoom_button_;
  std::unique_ptr<FindBar> find_bar_;
  // The page for a port no browser contacts, drawn over the view.
  Gtk::Box blocked_page_{Gtk::Orientation::VERTICAL};
  Gtk::Label blocked_heading_{"无法显示此网页"};
  Gtk::Label blocked_message_;
  TabHeader header_;
  // Last: it points into the overlay and listens to the page, and goes first.
  std::unique_ptr<PagePasswords> passwords_;
};

}  // namespace nuve::ui
