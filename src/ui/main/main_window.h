#pragma once
// A browser window: menu bar, navigation bar, tab strip with the
// favourites panel over its left edge, and the status bar. Several may be
// open; they share the profile, the favourites, the downloads list and the
// login. A private window browses on the private profile and keeps nothing:
// no history, no restore list, no saved passwords. Start reading at
// the constructor: the first page starts loading before the rest of the
// window is built, and what that page does not need (the favourites list,
// the version check) waits until it shows. The menu and key commands are in
// main_window_commands.cpp.

#include <gtkmm.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/app/command_line.h"
#include "core/account/login_state.h"
#include "core/util/task_scope.h"
#include "ui/account/account_windows.h"
#include "ui/update/update_windows.h"
#include "ui/downloads/download_manager.h"
#include "ui/downloads/downloads_popover.h"
#include "ui/favourites/favourites_panel.h"
#include "ui/history/address_completion.h"
#include "ui/main/filter_update_offer_bar.h"
#include "ui/main/navigation_bar.h"
#include "ui/main/session_keeper.h"
#include "ui/main/tab_strip.h"

namespace nuve::ui {

class AppContext;

// What kind of window to open, and what it shows first.
struct WindowOptions {
  // Browses on the private profile and keeps nothing.
  bool is_private = false;
  // The program's first window: it brings back the last run's tabs when the
  // user asked for that (the last run's other windows wait in the session
  // book), and runs the start-up checks.
  bool first = true;
  // One window of the last run to bring back.
  std::optional<core::SessionList> restore;
};

class MainWindow : public Gtk::ApplicationWindow {
 public:
  MainWindow(AppContext& context, const core::StartRequest& start, WindowOptions options = {});
  ~MainWindow() override;

  // The keyboard shortcuts of the window's commands.
  static void InstallAccelerators(Gtk::Application& app);

  TabStrip& tab_strip() { return tab_strip_; }
  NavigationBar& navigation_bar() { return navigation_bar_; }
  FavouritesPanel& favourites_panel() { return favourites_panel_; }
  Gtk::Label& status_bar() { return status_bar_; }
  DownloadManager& downloads();
  // The work that waits for the first page (the favourites list, the
  // start-up marker, the version check) has started.
  bool started_up() const { return deferred_started_; }
  bool IsPrivate() const { return is_private_; }
  // The profile this window's views are built on.
  EngineProfile& profile() { return profile_; }

  // Opens another window (private or not) showing `address` ("" for a new
  // tab's page). Until one is given, the commands that open windows are
  // disabled.
  using WindowOpener = std::function<void(bool is_private, const std::string& address)>;
  void set_window_opener(WindowOpener opener);
  // "退出" (Ctrl+Q) closes every window when given; else this one.
  void set_quit_handler(std::function<void()> quit) { quit_ = std::move(quit); }
  // The address box's completion; the favourites store is its second source.
  AddressCompletion& completion() { return completion_; }
  DownloadsPopover& downloads_popover() { return downloads_popover_; }
  // "开启广告拦截规则自动更新？", shown until the user answers.
  FilterUpdateOfferBar& offer_bar() { return offer_bar_; }

  // Loads the address box's text into the current tab: an address, or
  // words searched with the search preset.
  void Go();
  // Puts `address` into the address box and loads it into the current tab.
  void LoadInCurrentTab(const std::string& address);
  // The home page (portal A when none is saved) in the current tab.
  void GoHome();
  // A page's element fills the screen: the window shows nothing else.
  bool ShowsPageFullscreen() const { return page_fullscreen_; }

  // Fired when the version check finds a newer published version, before
  // the new-version window opens.
  sigc::signal<void(const std::string&)>& signal_newer_version() { return newer_version_; }

 private:
  // One entry of the command table (main_window_commands.cpp).
  struct Command {
    const char* name;
    void (*run)(MainWindow&);
    std::vector<const char*> keys;
    bool before_page;
  };
  static const std::vector<Command>& CommandTable();
  void SelectNeighbourTab(int step);
  void SelectTabNumber(int number);
  void OnDeveloperTools();

  void BuildLayout();
  void BuildMenu();
  void InstallActions();
  std::string StartFirstPage(const core::StartRequest& start, const WindowOptions& options);
  core::SessionList SessionToRestore(const core::StartRequest& start, const WindowOptions& options);
  void IssueFirstLoads();
  void RunStartupSequence();
  void RunDeferredStartup();
  void StartVersionCheck();
  void UpdateWindowTitle(const std::string& page_title);
  void FocusAddressOrPage(BrowserTab& tab, const std::string& address);
  void FocusAddressIfPortal();
  void OnCurrentTabChanged(BrowserTab& tab, bool opened_by_page);
  void OnCurrentTitleChanged(BrowserTab& tab);
  void OnCurrentUriChanged(BrowserTab& tab);
  void OnCurrentLoadStateChanged(BrowserTab& tab);
  void OnLogout();
  void OnAddFavourite();
  void OnAddFavourite(const std::string& address, const std::string& title);
  void OnClearBrowsingData();
  void OnTabFullscreenChanged(BrowserTab& tab);
  void SetPageFullscreen(bool on);
  void ShowLinkStatus(const std::string& link);
  void OnOpenFavourite(const std::string& address);
  enum class SettingsStart { kSettings, kAbout, kContentBlocking };
  void OnSettings(SettingsStart start);
  // The shield: its state for the current page, and the user's answers.
  void UpdateShield();
  void OnSiteBlockingOff(bool off);
  void LoadHomePageAfterSettings();
  void OnShowHistory();
  void RefreshFavouriteLinks();

  AppContext& context_;
  const bool is_private_;
  const bool first_window_;
  // A private window holds the private profile while it lives.
  std::shared_ptr<EngineProfile> private_profile_;
  EngineProfile& profile_;
  // Built first: the first page loads while everything below is built.
  TabStrip tab_strip_;
  // Goes before the strip does, saving the tabs as they were.
  SessionKeeper session_keeper_;
  // What the first tab loads at start-up (nothing when tabs are restored).
  std::string first_load_;
  // What the address box shows at start-up: the first page's address.
  const std::string first_address_;
  Gtk::Box layout_{Gtk::Orientation::VERTICAL};
  NavigationBar navigation_bar_;
  Gtk::Separator separator_{Gtk::Orientation::HORIZONTAL};
  FilterUpdateOfferBar offer_bar_;
  Gtk::Overlay browsing_area_;
  FavouritesPanel favourites_panel_;
  Gtk::Label status_bar_;
  Gtk::Widget* menu_bar_ = nullptr;
  // The status bar shows a link under the pointer (not a download's news).
  bool status_shows_link_ = false;
  bool page_fullscreen_ = false;
  // The window was fullscreen already when a page's element took it over.
  bool fullscreen_before_page_ = false;
  AccountWindows account_windows_;
  UpdateWindows update_windows_;
  DownloadsPopover downloads_popover_;
  AddressCompletion completion_;
  // The favourites as completion offers them, read off the UI thread.
  std::vector<core::FavouriteLink> favourite_links_;
  Glib::RefPtr<Gio::SimpleAction> logout_action_;
  Glib::RefPtr<Gio::SimpleAction> new_window_action_;
  Glib::RefPtr<Gio::SimpleAction> new_private_window_action_;
  WindowOpener window_opener_;
  std::function<void()> quit_;
  void OpenWindow(bool is_private, const std::string& address);
  // Offered only while a closed tab is there to come back.
  Glib::RefPtr<Gio::SimpleAction> reopen_action_;
  void UpdateReopenAction();
  // The logout item follows the stored login state.
  core::LoginState::Subscription login_state_changed_;
  // The start-up work that waits for the first page: what triggers it.
  bool deferred_started_ = false;
  sigc::connection deferred_on_title_;
  sigc::connection deferred_on_load_;
  sigc::connection deferred_timer_;
  // The shield follows the content filters.
  sigc::connection filters_changed_;
  // The version check's reply dies with the window.
  core::TaskScope tasks_;
  sigc::signal<void(const std::string&)> newer_version_;
};

}  // namespace nuve::ui
