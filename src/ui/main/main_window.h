#pragma once
// The program's main window: menu bar, navigation bar, tab strip with the
// favourites panel over its left edge, and the status bar. Start reading at
// the constructor: the first page starts loading before the rest of the
// window is built, and what that page does not need (the favourites list,
// the version check) waits until it shows. The menu and key commands are in
// main_window_commands.cpp.

#include <gtkmm.h>

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
#include "ui/main/navigation_bar.h"
#include "ui/main/session_keeper.h"
#include "ui/main/tab_strip.h"

namespace nuve::ui {

class AppContext;

class MainWindow : public Gtk::ApplicationWindow {
 public:
  MainWindow(AppContext& context, const core::StartRequest& start);
  ~MainWindow() override;

  // The keyboard shortcuts of the window's commands.
  static void InstallAccelerators(Gtk::Application& app);

  TabStrip& tab_strip() { return tab_strip_; }
  NavigationBar& navigation_bar() { return navigation_bar_; }
  FavouritesPanel& favourites_panel() { return favourites_panel_; }
  Gtk::Label& status_bar() { return status_bar_; }
  DownloadManager& downloads() { return downloads_; }
  // The address box's completion; the favourites store is its second source.
  AddressCompletion& completion() { return completion_; }
  DownloadsPopover& downloads_popover() { return downloads_popover_; }

  // Loads the address box's text into the current tab: an address, or
  // words searched with the search preset.
  void Go();
  // Puts `address` into the address box and loads it into the current tab.
  void LoadInCurrentTab(const std::string& address);
  // The home page (portal A when none is saved) in the current tab.
  void GoHome();

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
  std::string StartFirstPage(const core::StartRequest& start);
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
  void OnOpenFavourite(const std::string& address);
  void OnSettings(bool about_page);
  void LoadHomePageAfterSettings();
  void OnShowHistory();
  void RefreshFavouriteLinks();

  AppContext& context_;
  // Built first: the first page loads while everything below is built.
  TabStrip tab_strip_;
  // Goes before the strip does, saving the tabs as they were.
  SessionKeeper session_keeper_;
  // What the address box shows at start-up: the first page's address.
  const std::string first_address_;
  Gtk::Box layout_{Gtk::Orientation::VERTICAL};
  NavigationBar navigation_bar_;
  Gtk::Separator separator_{Gtk::Orientation::HORIZONTAL};
  Gtk::Overlay browsing_area_;
  FavouritesPanel favourites_panel_;
  Gtk::Label status_bar_;
  AccountWindows account_windows_;
  UpdateWindows update_windows_;
  DownloadManager downloads_;
  DownloadsPopover downloads_popover_;
  AddressCompletion completion_;
  // The favourites as completion offers them, read off the UI thread.
  std::vector<core::FavouriteLink> favourite_links_;
  Glib::RefPtr<Gio::SimpleAction> logout_action_;
  // The logout item follows the stored login state.
  core::LoginState::Subscription login_state_changed_;
  // The start-up work that waits for the first page: what triggers it.
  bool deferred_started_ = false;
  sigc::connection deferred_on_title_;
  sigc::connection deferred_on_load_;
  sigc::connection deferred_timer_;
  // The version check's reply dies with the window.
  core::TaskScope tasks_;
  sigc::signal<void(const std::string&)> newer_version_;
};

}  // namespace nuve::ui
