#pragma once
// The web engine's profile: the one network session (site data in the data
// folder, the HTTP cache in the cache folder, cookies in an SQLite file), the
// one WebKitSettings every view shares, the proxy, TLS policy and the
// certificates the user chose to trust for this run, permission answers, and
// where downloads are announced. Every web view is built here.

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "core/app/config.h"
#include "core/util/read_url.h"

namespace nuve::core {
class SitePasswords;
}

namespace nuve::ui {

class UiHost;

class EngineProfile {
 public:
  // The profile of normal windows: everything kept in the data and cache folders.
  EngineProfile(const core::Config& config, UiHost& ui_host);
  // A private windows' profile: an ephemeral session that writes nothing
  // and forgets everything when it goes; it takes `normal`'s proxy and
  // developer tools setting, and nothing else of it.
  struct Ephemeral {};
  EngineProfile(Ephemeral, const EngineProfile& normal);
  ~EngineProfile();
  EngineProfile(const EngineProfile&) = delete;
  EngineProfile& operator=(const EngineProfile&) = delete;

  WebKitNetworkSession* network_session() const { return session_; }
  WebKitSettings* web_settings() const { return settings_; }
  UiHost& ui_host() const { return ui_host_; }

  // A profile that keeps nothing once it ends (a private window's).
  bool IsEphemeral() const { return webkit_network_session_is_ephemeral(session_) != FALSE; }
  // Where the sign-ins of this profile's pages are saved; null when they
  // are not (no secret store given, or an ephemeral profile).
  core::SitePasswords* site_passwords() const { return IsEphemeral() ? nullptr : site_passwords_; }
  void set_site_passwords(core::SitePasswords* passwords) { site_passwords_ = passwords; }

  // A new view on this profile (a floating reference, as GTK gives widgets).
  WebKitWebView* CreateView() const;
  // A view for a page that `parent` opens (window.open, target=_blank):
  // related to the parent's, with the same settings.
  WebKitWebView* CreateRelatedView(WebKitWebView* parent) const;

  // Runs for every view this profile builds, before anything loads in it
  // (content blocking gives it its filters there).
  void set_view_hook(std::function<void(WebKitWebView*)> hook) { view_hook_ = std::move(hook); }
  // Asked for every navigation a page of this profile would go ahead with:
  // true when the hook took the decision to answer later (content blocking
  // holds the first pages until its filters are in).
  void set_navigation_hold(std::function<bool(WebKitPolicyDecision*)> hold) { navigation_hold_ = std::move(hold); }
  bool HoldNavigation(WebKitPolicyDecision* decision) const {
    return navigation_hold_ && navigation_hold_(decision);
  }

  // Spelling in edit boxes is checked (and suggestions offered in their
  // menu) in the desktop's languages that have a dictionary, and English.
  // For every profile: the engine keeps it for the whole program.
  static void SetSpellChecking(bool enabled);
  // The user typed into one of this profile's pages (the views report
  // their key presses); spelling is loaded then, not before.
  void set_typing_hook(std::function<void()> hook) { typing_hook_ = std::move(hook); }
  void NoteTyping() const {
    if (typing_hook_) typing_hook_();
  }

  // The web inspector (F12). Off unless the user turns it on, or
  // NUVE_DEVELOPER_EXTRAS=1 is set.
  bool developer_extras() const;
  void SetDeveloperExtras(bool enabled);

  // Sends every page of every scheme, and the program's plain GETs, through
  // the proxy host:port for the rest of the run.
  void SetInternetProxy(const std::string& host, const std::string& port);
  // The proxy host shown in window titles; "" when there is no proxy.
  const std::string& proxy_text() const { return proxy_text_; }
  // The proxy list as the program keeps it ("ftp= P;http= P;..."), for logs.
  const std::string& proxy_list() const { return proxy_list_; }
  // Options for ReadUrl that honour the proxy.
  core::ReadUrlOptions read_url_options() const;

  // Trusts `certificate` for `host` until the program ends; the user chose
  // to continue to a site whose certificate failed the checks.
  void AllowCertificateForHost(GTlsCertificate* certificate, const std::string& host);
  bool IsCertificateAllowed(const std::string& host) const { return allowed_hosts_.count(host) > 0; }

  // Asks the user whether the page at `origin` may use what `request` asks
  // for (location, notifications, camera and microphone); the answer holds
  // for the rest of the run. Closing the question denies. Returns false for
  // requests the engine's own defaults decide.
  bool AskPermission(WebKitPermissionRequest* request, const std::string& origin, Gtk::Window* parent);

  // Removes cookies, the cache and all other site data; `done` runs on the
  // UI thread with false when the engine reported a failure.
  void ClearWebsiteData(std::function<void(bool ok)> done);

  // Every download of every view, whatever started it.
  sigc::signal<void(WebKitDownload*)>& signal_download_started() { return download_started_; }

 private:
  static void DownloadStartedCb(WebKitNetworkSession*, WebKitDownload* download, gpointer self) noexcept;

  UiHost& ui_host_;
  core::SitePasswords* site_passwords_ = nullptr;
  WebKitNetworkSession* session_ = nullptr;
  WebKitSettings* settings_ = nullptr;
  gulong download_handler_ = 0;
  void SetUpSession();

  std::string proxy_host_;
  std::string proxy_port_;
  std::string proxy_text_;
  std::string proxy_list_;
  std::string proxy_address_;
  std::set<std::string> allowed_hosts_;
  // (origin, kind) -> the user's answer for this run.
  std::map<std::pair<std::string, std::string>, bool> permission_answers_;
  sigc::signal<void(WebKitDownload*)> download_started_;
  std::function<void(WebKitWebView*)> view_hook_;
  std::function<bool(WebKitPolicyDecision*)> navigation_hold_;
  std::function<void()> typing_hook_;
};

}  // namespace nuve::ui
