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

MainWindow::MainWindow(AppContext& context, const core::StartRequest& start, WindowOptions options)
    : context_(context),
      is_private_(options.is_private),
      first_window_(options.first && !options.is_private),
      private_profile_(is_private_ ? context.PrivateProfile() : nullptr),
      profile_(is_private_ ? *private_profile_ : context.engine()),
      tab_strip_(context, profile_),
      session_keeper_(tab_strip_, is_private_ ? nullptr : &context.session_book()),
      first_address_(StartFirstPage(start, options)),
      offer_bar_(context.content_filters()),
      favourites_panel_(context.favourites(), context.ui_host()),
      account_windows_(context),
      update_windows_(context),
      downloads_popover_(context.downloads()),
      completion_(navigation_bar_.address_entry(), context.history()) {
  set_title(core::kProgramTitle);
  set_default_size(1024, 700);
  // Closing hides the window; its owner deletes it afterwards.
  set_hide_on_close(true);
  // The dark header of a private window (see BuildLayout).
  if (is_private_) add_css_class("private-window");
  BuildLayout();
  InstallActions();
  BuildMenu();

  tab_strip_.signal_current_changed().connect(sigc::mem_fun(*this, &MainWindow::OnCurrentTabChanged));
  tab_strip_.signal_title_changed().connect(sigc::mem_fun(*this, &MainWindow::OnCurrentTitleChanged));
  tab_strip_.signal_uri_changed().connect(sigc::mem_fun(*this, &MainWindow::OnCurrentUriChanged));
  tab_strip_.signal_load_state_changed().connect(sigc::mem_fun(*this, &MainWindow::OnCurrentLoadStateChanged));
  // A private window's visits are nowhere: not in the history, so neither
  // in the completion nor on the start page.
  if (!is_private_) {
    tab_strip_.signal_page_visited().connect([this](BrowserTab& tab) {
      context_.history().RecordVisit(tab.page().Uri(), tab.page().Title());
    });
    tab_strip_.signal_page_titled().connect([this](BrowserTab& tab) {
      if (!tab.page().ShowingErrorPage()) context_.history().SetTitle(tab.page().Uri(), tab.page().Title());
    });
  }
  tab_strip_.signal_open_window().connect([this](const std::string& address) { OpenWindow(is_private_, address); });
  tab_strip_.signal_status_text().connect(sigc::mem_fun(*this, &MainWindow::ShowLinkStatus));
  tab_strip_.signal_fullscreen_changed().connect(sigc::mem_fun(*this, &MainWindow::OnTabFullscreenChanged));
  // The list outlives the window.
  context_.downloads().signal_status().connect(sigc::track_obj(
      [this](const std::string& text) {
        status_bar_.set_text(text);
        status_shows_link_ = false;
      },
      *this));
  // The closed tabs' back/forward lists are browsing history as well.
  context_.signal_browsing_data_cleared().connect(sigc::track_obj(
      [this] {
        tab_strip_.ForgetClosedTabs();
        UpdateReopenAction();
      },
      *this));
  tab_strip_.signal_tabs_changed().connect(sigc::mem_fun(*this, &MainWindow::UpdateReopenAction));
  tab_strip_.signal_add_favourite().connect(
      [this](const std::string& address, const std::string& title) { OnAddFavourite(address, title); });
  navigation_bar_.downloads_button().set_popover(downloads_popover_);
  navigation_bar_.signal_go().connect(sigc::mem_fun(*this, &MainWindow::Go));
  navigation_bar_.signal_address_edited().connect([this](const std::string& text) { completion_.Update(text); });
  completion_.signal_chosen().connect([this](const std::string&) { Go(); });
  navigation_bar_.signal_home().connect(sigc::mem_fun(*this, &MainWindow::GoHome));
  navigation_bar_.signal_back().connect([this] { tab_strip_.CurrentTab().page().GoBack(); });
  navigation_bar_.signal_forward().connect([this] { tab_strip_.CurrentTab().page().GoForward(); });
  navigation_bar_.signal_refresh().connect([this] { tab_strip_.CurrentTab().page().Reload(); });
  navigation_bar_.signal_stop().connect([this] { tab_strip_.CurrentTab().page().Stop(); });
  navigation_bar_.signal_site_blocking_off().connect(sigc::mem_fun(*this, &MainWindow::OnSiteBlockingOff));
  navigation_bar_.signal_blocking_settings().connect([this] { OnSettings(SettingsStart::kContentBlocking); });
  filters_changed_ =
      context_.content_filters().signal_changed().connect(sigc::mem_fun(*this, &MainWindow::UpdateShield));
  favourites_panel_.signal_open().connect(sigc::mem_fun(*this, &MainWindow::OnOpenFavourite));
  favourites_panel_.signal_changed().connect(sigc::mem_fun(*this, &MainWindow::RefreshFavouriteLinks));
  // Every window lists the same favourites: a change made elsewhere (another
  // window, the sync, a file manager) is listed again here. The window in
  // front made the change itself and shows it already, rows opened and all.
  context_.signal_favourites_changed().connect(sigc::track_obj(
      [this] {
        if (deferred_started_ && !is_active()) favourites_panel_.LoadFromStore();
      },
      *this));
  completion_.set_favourites_source([this] { return favourite_links_; });

  RunStartupSequence();
  // Last: a window whose building failed is never counted.
  context_.AddWindow(*this);
}

MainWindow::~MainWindow() {
  // The list goes before the button that shows it.
  navigation_bar_.downloads_button().unset_popover();
  deferred_on_title_.disconnect();
  deferred_on_load_.disconnect();
  deferred_timer_.disconnect();
  // The filters outlive the window; the tabs the shield reads do not.
  filters_changed_.disconnect();
  // The strip outlives the rest of the window; nothing of it may reach the
  // window's handlers any more.
  tab_strip_.signal_current_changed().clear();
  tab_strip_.signal_title_changed().clear();
  tab_strip_.signal_uri_changed().clear();
  tab_strip_.signal_load_state_changed().clear();
  tab_strip_.signal_status_text().clear();
  tab_strip_.signal_fullscreen_changed().clear();
  tab_strip_.signal_page_visited().clear();
  tab_strip_.signal_page_titled().clear();
  login_state_changed_.Reset();
  // The last window to go ends the login.
  context_.RemoveWindow(*this);
}

DownloadManager& MainWindow::downloads() { return context_.downloads(); }

void MainWindow::set_window_opener(WindowOpener opener) {
  window_opener_ = std::move(opener);
  const bool can = static_cast<bool>(window_opener_);
  new_window_action_->set_enabled(can);
  new_private_window_action_->set_enabled(can);
  tab_strip_.set_can_open_windows(can);
}

void MainWindow::OpenWindow(bool is_private, const std::string& address) {
  if (window_opener_) window_opener_(is_private, address);
}

void MainWindow::BuildLayout() {
  // A tab's loading icon turns.
  auto style = Gtk::CssProvider::create();
  style->load_from_data(
      "image.loading { animation: nuve-turn 1s linear infinite; }"
      "@keyframes nuve-turn { from { -gtk-icon-transform: rotate(0turn); } to { -gtk-icon-transform: rotate(1turn); } }"
      // A private window is told apart at a glance by its dark header area.
      "window.private-window #menu-bar, window.private-window #navigation-bar {"
      " background-color: #2b2a33; color: #fbfbfe; }"
      "window.private-window #navigation-bar entry { background-color: #42414d; color: #fbfbfe; }");
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
  layout_.append(offer_bar_);
  layout_.append(browsing_area_);
  layout_.append(status_bar_);
  set_child(layout_);
}

// The first page, before anything else of the window exists, so that the
// web engine fetches and renders it while the window is built: the proxy
// from the command line first, then the address given there; else the tabs
// of the last run when the user asked for them; else the saved home page,
// else portal A. Returns the address the address box is to show.
//
// The load starts at once; its navigation waits for the content filters
// found compiled in the cache (ContentFilters::HoldUntilReady) while the
// page's web process starts.
std::string MainWindow::StartFirstPage(const core::StartRequest& start, const WindowOptions& options) {
  if (!start.proxy_host.empty()) context_.SetInternetProxy(start.proxy_host, start.proxy_port);
  std::string address;
  const core::SessionList session = SessionToRestore(start, options);
  session_keeper_.set_restored(session);
  if (session_keeper_.OpenTabs(session)) {
    const int current = tab_strip_.IndexOf(tab_strip_.CurrentTab());
    if (current >= 0 && current < static_cast<int>(session.tabs.size())) address = session.tabs[current].uri;
  } else {
    std::string first_page = start.address;
    if (first_page.empty()) first_page = context_.settings().HomePage();
    if (first_page.empty()) first_page = context_.config().portal_a;
    address = core::NormaliseAddress(first_page);
    first_load_ = address;
  }
  IssueFirstLoads();
  return address;
}

// The first window restores the first window of the last run, when the user
// asked for that and the command line names no page; the others wait for
// the windows opened after it.
core::SessionList MainWindow::SessionToRestore(const core::StartRequest& start, const WindowOptions& options) {
  if (is_private_) return {};
  if (options.restore) return *options.restore;
  if (!first_window_ || !start.address.empty() || !context_.settings().RestoreLastSession()) return {};
  std::vector<core::SessionList> windows = context_.session().LoadWindows();
  if (windows.empty()) return {};
  core::SessionList first = std::move(windows.front());
  windows.erase(windows.begin());
  context_.session_book().set_waiting(std::move(windows));
  return first;
}

void MainWindow::IssueFirstLoads() {
  session_keeper_.LoadTabs();
  if (!first_load_.empty()) tab_strip_.FirstTab().page().Load(first_load_);
  core::StartupMark("first load issued");
}

// The rest of the start-up sequence, once the window is built. Every step
// runs whatever the command line says; an address given there only changed
// the first page.
void MainWindow::RunStartupSequence() {
  // The window catches up with the first tab, whose page is already loading.
  BrowserTab& first = tab_strip_.CurrentTab();
  UpdateWindowTitle(first.page().Title());
  OnCurrentLoadStateChanged(first);
  navigation_bar_.SetAddress(first_address_);
  UpdateShield();
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
  auto run_deferred = sigc::track_obj(
      [this] {
        RunDeferredStartup();
        return false;
      },
      *this);
  if (first_address_.empty()) {
    deferred_timer_ = Glib::signal_idle().connect(run_deferred);  // no page to wait for
    return;
  }
  // Once the page shows, the rest runs from the main loop's next turn, so
  // that the window's new title reaches the display first.
  auto when_shown = [this, run_deferred](BrowserTab& tab) {
    const WebPage& page = tab.page();
    if (page.Title().empty() && (page.IsLoading() || page.LoadProgress() < 1.0)) return;
    deferred_on_title_.disconnect();
    deferred_on_load_.disconnect();
    deferred_timer_.disconnect();
    deferred_timer_ = Glib::signal_idle().connect(run_deferred);
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
  context_.content_filters().ReleaseJobs();
  // The start-up marker and the version check are the first window's.
  if (!first_window_) {
    favourites_panel_.LoadFromStore();
    return;
  }

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
  tab.page().Load(address);
  FocusAddressOrPage(tab, address);
}

void MainWindow::GoHome() {
  std::string home = context_.settings().HomePage();
  if (home.empty()) home = context_.config().portal_a;
  tab_strip_.CurrentTab().page().Load(core::NormaliseAddress(home));
}

void MainWindow::UpdateWindowTitle(const std::string& page_title) {
  set_title(core::WindowTitle(page_title, context_.proxy_text(), is_private_));
}

// The start portal is where the user types the next address (a blank one
// never reports a title that would move the focus there later); any other
// page takes the focus itself.
void MainWindow::FocusAddressOrPage(BrowserTab& tab, const std::string& address) {
  if (core::IsSameAddress(address, context_.config().portal_a)) {
    navigation_bar_.FocusAddress();
  } else {
    tab.page().Focus();
  }
}

void MainWindow::FocusAddressIfPortal() {
  if (core::IsSameAddress(navigation_bar_.Address(), context_.config().portal_a)) {
    navigation_bar_.FocusAddress();
  }
}

void MainWindow::OnCurrentTabChanged(BrowserTab& tab, bool opened_by_page) {
  // The link under the pointer was the other tab's; a closed fullscreen
  // page gives the screen back.
  ShowLinkStatus("");
  if (page_fullscreen_ && !tab.page().IsFullscreen()) SetPageFullscreen(false);
  UpdateWindowTitle(tab.page().Title());
  OnCurrentLoadStateChanged(tab);
  if (opened_by_page) {
    UpdateShield();
    // A page opened this tab: the focus stays where it was, and an address
    // the user is typing stays too.
    if (!navigation_bar_.AddressHasFocus()) navigation_bar_.SetAddress(tab.page().Uri());
    return;
  }
  completion_.Hide();
  navigation_bar_.SetAddress(tab.page().Uri());
  UpdateShield();
  FocusAddressOrPage(tab, navigation_bar_.Address());
}

void MainWindow::ShowLinkStatus(const std::string& link) {
  // An empty link clears only a link: a download's news stays.
  if (link.empty() && !status_shows_link_) return;
  status_bar_.set_text(link);
  status_shows_link_ = !link.empty();
}

void MainWindow::OnTabFullscreenChanged(BrowserTab& tab) {
  if (tab.page().IsFullscreen()) {
    if (&tab != &tab_strip_.CurrentTab()) tab_strip_.SelectTab(tab_strip_.IndexOf(tab));
    SetPageFullscreen(true);
  } else if (&tab == &tab_strip_.CurrentTab()) {
    SetPageFullscreen(false);
  }
}

// The engine fills the window with the element and asks the desktop for the
// whole screen; the window hides its own bars and the tab headers.
void MainWindow::SetPageFullscreen(bool on) {
  if (on == page_fullscreen_) return;
  page_fullscreen_ = on;
  if (menu_bar_ != nullptr) menu_bar_->set_visible(!on);
  navigation_bar_.set_visible(!on);
  separator_.set_visible(!on);
  status_bar_.set_visible(!on);
  tab_strip_.notebook().set_show_tabs(!on);
  if (on) {
    // A window the user made fullscreen (F11) stays so when the page is done.
    fullscreen_before_page_ = is_fullscreen();
    fullscreen();
  } else if (!fullscreen_before_page_) {
    unfullscreen();
  }
}

void MainWindow::OnCurrentLoadStateChanged(BrowserTab& tab) {
  navigation_bar_.SetLoading(tab.page().IsLoading(), tab.page().LoadProgress());
  navigation_bar_.SetHistoryState(tab.page().CanGoBack(), tab.page().CanGoForward());
}

void MainWindow::OnCurrentTitleChanged(BrowserTab& tab) {
  UpdateWindowTitle(tab.page().Title());
  // Pages that keep changing their title must not overwrite what the user
  // is typing into the address box.
  if (navigation_bar_.AddressHasFocus()) return;
  navigation_bar_.SetAddress(tab.page().Uri());
  FocusAddressIfPortal();
}

void MainWindow::OnCurrentUriChanged(BrowserTab& tab) {
  // What the user is typing is not overwritten.
  if (!navigation_bar_.AddressHasFocus()) navigation_bar_.SetAddress(tab.page().Uri());
  UpdateShield();
}

// The shield speaks of the page the current tab shows (or is loading): the
// address box's own text may be something the user is typing.
void MainWindow::UpdateShield() {
  const ContentFilters& filters = context_.content_filters();
  NavigationBar::BlockingState state;
  state.enabled = filters.enabled();
  state.site = core::ContentBlockingSettings::SiteOf(tab_strip_.CurrentTab().page().Uri());
  state.site_excepted = !state.site.empty() && filters.IsSiteExcepted(state.site);
  navigation_bar_.SetBlockingState(state);
}

// "在此网站上停用广告拦截": remembered for the site, and the tab loads its
// page again so that the change shows at once.
void MainWindow::OnSiteBlockingOff(bool off) {
  BrowserTab& tab = tab_strip_.CurrentTab();
  const std::string site = core::ContentBlockingSettings::SiteOf(tab.page().Uri());
  if (site.empty()) {
    UpdateShield();
    return;
  }
  if (const core::Status s = context_.content_filters().SetSiteExcepted(site, off); !s.ok()) {
    UpdateShield();
    context_.ui_host().Error(this, "无法保存设置：" + s.error().detail);
    return;
  }
  tab.page().Reload();
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
        for (const core::FavouriteEntry& entry : store.AllFavourites()) {
          if (stop.stop_requested()) break;
          std::string address = store.ReadAddress(entry);
          if (!address.empty()) links.push_back({entry.title, std::move(address)});
        }
        return links;
      },
      [this](std::vector<core::FavouriteLink> links) { favourite_links_ = std::move(links); });
}

}  // namespace nuve::ui
