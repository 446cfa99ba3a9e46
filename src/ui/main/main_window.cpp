#include "ui/main/main_window.h"

#include "core/account/account_client.h"
#include "core/app/address.h"
#include "core/app/log.h"
#include "core/app/startup_trace.h"
#include "core/app/version_lookup.h"
#include "core/app/window_title.h"
#include "ui/app/app_context.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

MainWindow::MainWindow(AppContext& context, const core::StartRequest& start)
    : context_(context),
      tab_strip_(context),
      session_keeper_(tab_strip_, context.session()),
      first_address_(StartFirstPage(start)),
      favourites_panel_(context.favourites(), context.ui_host()),
      account_windows_(context),
      update_windows_(context),
      downloads_(context.engine(), context.config().download_dir),
      downloads_popover_(downloads_),
      completion_(navigation_bar_.address_entry(), context.history()) {
  set_title(core::kProgramTitle);
  set_default_size(1024, 700);
  BuildLayout();
  InstallActions();
  BuildMenu();

  tab_strip_.signal_current_changed().connect(sigc::mem_fun(*this, &MainWindow::OnCurrentTabChanged));
  tab_strip_.signal_title_changed().connect(sigc::mem_fun(*this, &MainWindow::OnCurrentTitleChanged));
  tab_strip_.signal_uri_changed().connect(sigc::mem_fun(*this, &MainWindow::OnCurrentUriChanged));
  tab_strip_.signal_load_state_changed().connect(sigc::mem_fun(*this, &MainWindow::OnCurrentLoadStateChanged));
  tab_strip_.signal_page_visited().connect([this](BrowserTab& tab) {
    context_.history().RecordVisit(tab.Uri(), tab.Title());
  });
  tab_strip_.signal_page_titled().connect([this](BrowserTab& tab) {
    if (!tab.ShowingErrorPage()) context_.history().SetTitle(tab.Uri(), tab.Title());
  });
  tab_strip_.signal_status_text().connect([this](const std::string& text) { status_bar_.set_text(text); });
  downloads_.signal_status().connect([this](const std::string& text) { status_bar_.set_text(text); });
  navigation_bar_.downloads_button().set_popover(downloads_popover_);
  navigation_bar_.signal_go().connect(sigc::mem_fun(*this, &MainWindow::Go));
  navigation_bar_.signal_address_edited().connect([this](const std::string& text) { completion_.Update(text); });
  completion_.signal_chosen().connect([this](const std::string&) { Go(); });
  navigation_bar_.signal_home().connect(sigc::mem_fun(*this, &MainWindow::GoHome));
  navigation_bar_.signal_back().connect([this] { tab_strip_.CurrentTab().GoBack(); });
  navigation_bar_.signal_forward().connect([this] { tab_strip_.CurrentTab().GoForward(); });
  navigation_bar_.signal_refresh().connect([this] { tab_strip_.CurrentTab().Reload(); });
  navigation_bar_.signal_stop().connect([this] { tab_strip_.CurrentTab().Stop(); });
  favourites_panel_.signal_open().connect(sigc::mem_fun(*this, &MainWindow::OnOpenFavourite));
  favourites_panel_.signal_changed().connect(sigc::mem_fun(*this, &MainWindow::RefreshFavouriteLinks));
  completion_.set_favourites_source([this] { return favourite_links_; });

  // A login the keep-alive could not renew ends the program once the user
  // has read why: the main window closes, and with it the process (exit 0).
  context_.set_session_expired_handler([this] {
    context_.ui_host().Error(this, "您的登陆会话已过期", [this] { close(); });
  });

  RunStartupSequence();
}

MainWindow::~MainWindow() {
  // The list goes before the button that shows it.
  navigation_bar_.downloads_button().unset_popover();
  deferred_on_title_.disconnect();
  deferred_on_load_.disconnect();
  deferred_timer_.disconnect();
  // The strip outlives the rest of the window; nothing of it may reach the
  // window's handlers any more.
  tab_strip_.signal_current_changed().clear();
  tab_strip_.signal_title_changed().clear();
  tab_strip_.signal_uri_changed().clear();
  tab_strip_.signal_load_state_changed().clear();
  tab_strip_.signal_status_text().clear();
  tab_strip_.signal_page_visited().clear();
  tab_strip_.signal_page_titled().clear();
  // Closing the browser ends the login: the next start is logged out.
  context_.set_session_expired_handler({});
  login_state_changed_.Reset();
  context_.login_state().LogOut();
}

void MainWindow::BuildLayout() {
  // A tab's loading icon turns.
  auto style = Gtk::CssProvider::create();
  style->load_from_data(
      "image.loading { animation: nuve-turn 1s linear infinite; }"
      "@keyframes nuve-turn { from { -gtk-icon-transform: rotate(0turn); } to { -gtk-icon-transform: rotate(1turn); } }");
  Gtk::StyleContext::add_provider_for_display(get_display(), style, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  navigation_bar_.set_name("navigation-bar");
  separator_.set_name("分组框1");
  browsing_area_.set_child(tab_strip_.widget());
  browsing_area_.add_overlay(favourites_panel_);
  browsing_area_.set_vexpand(true);
  status_bar_.set_name("状态条1");
  status_bar_.set_xalign(0);
  status_bar_.set_ellipsize(Pango::EllipsizeMode::END);
  status_bar_.set_margin_start(6);
  status_bar_.set_margin_end(6);
  status_bar_.set_margin_top(2);
  status_bar_.set_margin_bottom(2);
  layout_.append(navigation_bar_);
  layout_.append(separator_);
  layout_.append(browsing_area_);
  layout_.append(status_bar_);
  set_child(layout_);
}

// The first page, before anything else of the window exists, so that the
// web engine fetches and renders it while the window is built: the proxy
// from the command line first, then the address given there; else the tabs
// of the last run when the user asked for them; else the saved home page,
// else portal A. Returns the address the address box is to show.
std::string MainWindow::StartFirstPage(const core::StartRequest& start) {
  if (!start.proxy_host.empty()) context_.SetInternetProxy(start.proxy_host, start.proxy_port);
  const bool restored = start.address.empty() && context_.settings().RestoreLastSession() &&
                        session_keeper_.Restore(context_.session().Load());
  if (restored) return tab_strip_.CurrentTab().Uri();
  std::string first_page = start.address;
  if (first_page.empty()) first_page = context_.settings().HomePage();
  if (first_page.empty()) first_page = context_.config().portal_a;
  std::string address = core::NormaliseAddress(first_page);
  if (!address.empty()) tab_strip_.CurrentTab().Load(address);
  core::StartupMark("first load issued");
  return address;
}

// The rest of the start-up sequence, once the window is built. Every step
// runs whatever the command line says; an address given there only changed
// the first page.
void MainWindow::RunStartupSequence() {
  // The window catches up with the first tab, whose page is already loading.
  BrowserTab& first = tab_strip_.CurrentTab();
  UpdateWindowTitle(first.Title());
  OnCurrentLoadStateChanged(first);
  navigation_bar_.SetAddress(first_address_);
  FocusAddressOrPage(first, first_address_);

  maximize();

  // The logout item is offered unless the stored state says logged out, and
  // follows every login and logout of the run.
  core::LoginState& login_state = context_.login_state();
  logout_action_->set_enabled(login_state.CanLogOut());
  login_state_changed_ = login_state.Subscribe([this] {
    logout_action_->set_enabled(context_.login_state().CanLogOut());
  });

  // The favourites and the version check wait until the first page shows
  // (its title, or the end of its load), and at most three seconds.
  auto run_deferred = [this] {
    RunDeferredStartup();
    return false;
  };
  if (first_address_.empty()) {
    deferred_timer_ = Glib::signal_idle().connect(run_deferred);  // no page to wait for
    return;
  }
  auto when_shown = [this](BrowserTab& tab) {
    if (!tab.Title().empty() || (!tab.IsLoading() && tab.LoadProgress() >= 1.0)) RunDeferredStartup();
  };
  deferred_on_title_ = tab_strip_.signal_title_changed().connect(when_shown);
  deferred_on_load_ = tab_strip_.signal_load_state_changed().connect(when_shown);
  deferred_timer_ = Glib::signal_timeout().connect(run_deferred, 3000);
}

void MainWindow::RunDeferredStartup() {
  if (deferred_started_) return;
  deferred_started_ = true;
  core::StartupMark("first page shown");
  deferred_on_title_.disconnect();
  deferred_on_load_.disconnect();
  deferred_timer_.disconnect();

  // The favourites: the start-up marker in "Collection.ini", then the list.
  if (const core::Status s = context_.settings().SetFavouritesCheck(first_address_); !s.ok()) {
    core::LogWarning("start-up", s.error().detail);
  }
  favourites_panel_.LoadFromStore();

  StartVersionCheck();
}

void MainWindow::StartVersionCheck() {
  const core::Config config = context_.config();
  core::ReadUrlOptions options = context_.read_url_options();
  context_.tasks().Run<std::string>(
      tasks_,
      [config, options](std::stop_token stop) mutable {
        options.stop = stop;
        return core::LatestVersionLookup(config, options);
      },
      [this](std::string latest) {
        // A lookup that found no label (offline, no source) is no new version.
        if (!core::IsNewerVersionPublished(latest)) return;
        newer_version_.emit(latest);
        update_windows_.OpenNewVersion(this, [this] { close(); });
      });
}

void MainWindow::Go() {
  LoadInCurrentTab(core::AddressForTyped(navigation_bar_.Address(), context_.config().search_query));
}

void MainWindow::LoadInCurrentTab(const std::string& address) {
  completion_.Hide();
  if (address.empty()) return;
  navigation_bar_.SetAddress(address);
  BrowserTab& tab = tab_strip_.CurrentTab();
  tab.Load(address);
  FocusAddressOrPage(tab, address);
}

void MainWindow::GoHome() {
  std::string home = context_.settings().HomePage();
  if (home.empty()) home = context_.config().portal_a;
  tab_strip_.CurrentTab().Load(core::NormaliseAddress(home));
}

void MainWindow::UpdateWindowTitle(const std::string& page_title) {
  set_title(core::WindowTitle(page_title, context_.proxy_text()));
}

// The start portal is where the user types the next address (a blank one
// never reports a title that would move the focus there later); any other
// page takes the focus itself.
void MainWindow::FocusAddressOrPage(BrowserTab& tab, const std::string& address) {
  if (core::IsSameAddress(address, context_.config().portal_a)) {
    navigation_bar_.FocusAddress();
  } else {
    tab.FocusPage();
  }
}

void MainWindow::FocusAddressIfPortal() {
  if (core::IsSameAddress(navigation_bar_.Address(), context_.config().portal_a)) {
    navigation_bar_.FocusAddress();
  }
}

void MainWindow::OnCurrentTabChanged(BrowserTab& tab, bool opened_by_page) {
  UpdateWindowTitle(tab.Title());
  OnCurrentLoadStateChanged(tab);
  if (opened_by_page) {
    // A page opened this tab: the focus stays where it was, and an address
    // the user is typing stays too.
    if (!navigation_bar_.AddressHasFocus()) navigation_bar_.SetAddress(tab.Uri());
    return;
  }
  completion_.Hide();
  navigation_bar_.SetAddress(tab.Uri());
  FocusAddressOrPage(tab, navigation_bar_.Address());
}

void MainWindow::OnCurrentLoadStateChanged(BrowserTab& tab) {
  navigation_bar_.SetLoading(tab.IsLoading(), tab.LoadProgress());
  navigation_bar_.SetHistoryState(tab.CanGoBack(), tab.CanGoForward());
}

void MainWindow::OnCurrentTitleChanged(BrowserTab& tab) {
  UpdateWindowTitle(tab.Title());
  // Pages that keep changing their title must not overwrite what the user
  // is typing into the address box.
  if (navigation_bar_.AddressHasFocus()) return;
  navigation_bar_.SetAddress(tab.Uri());
  FocusAddressIfPortal();
}

void MainWindow::OnCurrentUriChanged(BrowserTab& tab) {
  // What the user is typing is not overwritten.
  if (!navigation_bar_.AddressHasFocus()) navigation_bar_.SetAddress(tab.Uri());
}

// The address box completes from the favourites too. Their files are read
// off the user-interface thread whenever the list changes, so typing never
// waits for the disk.
void MainWindow::RefreshFavouriteLinks() {
  const core::FavouritesStore store = context_.favourites();
  context_.tasks().Run<std::vector<core::FavouriteLink>>(
      tasks_,
      [store](std::stop_token stop) {
        std::vector<core::FavouriteLink> links;
        for (const core::FavouriteEntry& entry : store.List()) {
          if (stop.stop_requested()) break;
          std::string address = store.ReadAddress(entry);
          if (!address.empty()) links.push_back({entry.title, std::move(address)});
        }
        return links;
      },
      [this](std::vector<core::FavouriteLink> links) { favourite_links_ = std::move(links); });
}

}  // namespace nuve::ui
