// The main window's command table: menu items and keyboard shortcuts.
#include <string>
#include <vector>

#include "core/app/address.h"
#include "core/app/log.h"
#include "ui/app/app_context.h"
#include "ui/app/ui_host.h"
#include "ui/favourites/add_favourite_window.h"
#include "ui/favourites/favourites_transfer.h"
#include "ui/history/history_window.h"
#include "ui/main/main_window.h"
#include "ui/settings/browsing_settings_section.h"
#include "ui/settings/content_blocking_settings_section.h"
#include "ui/settings/passwords_settings_section.h"
#include "ui/settings/settings_window.h"

namespace nuve::ui {

// Every command of the window, once: its action name, what it does (null:
// the window that does it is not there yet, so the command is disabled),
// its keys, and whether the keys are caught before the page sees them (the
// window's capture phase, so no page can swallow them) or reach the page
// first (Escape: a page's own dialog closes before a load stops).
const std::vector<MainWindow::Command>& MainWindow::CommandTable() {
  using W = MainWindow;
  static const std::vector<Command> kCommands = {
      {"new-tab", [](W& w) { w.tab_strip_.OpenNewTab(); }, {"<Primary>t"}, true},
      {"new-window", [](W& w) { w.OpenWindow(false, ""); }, {"<Primary>n"}, true},
      {"new-private-window", [](W& w) { w.OpenWindow(true, ""); }, {"<Primary><Shift>n"}, true},
      {"close-tab", [](W& w) { w.tab_strip_.CloseCurrentTab(); }, {"<Primary>w"}, true},
      {"reload", [](W& w) { w.tab_strip_.CurrentTab().page().Reload(); }, {"F5", "<Primary>r"}, true},
      {"stop", [](W& w) { w.tab_strip_.CurrentTab().page().Stop(); }, {"Escape"}, false},
      {"go-back", [](W& w) { w.tab_strip_.CurrentTab().page().GoBack(); }, {"<Alt>Left"}, true},
      {"go-forward", [](W& w) { w.tab_strip_.CurrentTab().page().GoForward(); }, {"<Alt>Right"}, true},
      {"focus-address", [](W& w) { w.navigation_bar_.FocusAddress(); }, {"<Primary>l", "F6"}, true},
      {"next-tab", [](W& w) { w.SelectNeighbourTab(1); }, {"<Primary>Tab", "<Primary>Page_Down"}, true},
      {"previous-tab", [](W& w) { w.SelectNeighbourTab(-1); },
       {"<Primary><Shift>Tab", "<Primary><Shift>ISO_Left_Tab", "<Primary>Page_Up"}, true},
      {"select-tab-1", [](W& w) { w.SelectTabNumber(1); }, {"<Primary>1"}, true},
      {"select-tab-2", [](W& w) { w.SelectTabNumber(2); }, {"<Primary>2"}, true},
      {"select-tab-3", [](W& w) { w.SelectTabNumber(3); }, {"<Primary>3"}, true},
      {"select-tab-4", [](W& w) { w.SelectTabNumber(4); }, {"<Primary>4"}, true},
      {"select-tab-5", [](W& w) { w.SelectTabNumber(5); }, {"<Primary>5"}, true},
      {"select-tab-6", [](W& w) { w.SelectTabNumber(6); }, {"<Primary>6"}, true},
      {"select-tab-7", [](W& w) { w.SelectTabNumber(7); }, {"<Primary>7"}, true},
      {"select-tab-8", [](W& w) { w.SelectTabNumber(8); }, {"<Primary>8"}, true},
      {"fullscreen",
       [](W& w) {
         // A page's element on the whole screen gives it back first.
         if (w.page_fullscreen_) {
           w.tab_strip_.CurrentTab().page().LeaveFullscreen();
         } else {
           w.is_fullscreen() ? w.unfullscreen() : w.fullscreen();
         }
       },
       {"F11"}, true},
      {"reopen-closed-tab", [](W& w) { w.tab_strip_.ReopenClosedTab(); }, {"<Primary><Shift>t"}, true},
      {"home", [](W& w) { w.GoHome(); }, {"<Alt>Home"}, true},
      {"downloads", [](W& w) { w.navigation_bar_.downloads_button().popup(); }, {"<Primary>j"}, true},
      {"clear-browsing-data", [](W& w) { w.OnClearBrowsingData(); }, {"<Primary><Shift>Delete"}, true},
      {"find", [](W& w) { w.tab_strip_.CurrentTab().find_bar().Open(); }, {"<Primary>f"}, true},
      {"find-next", [](W& w) { w.tab_strip_.CurrentTab().find_bar().FindNext(); }, {"<Primary>g"}, true},
      {"find-previous", [](W& w) { w.tab_strip_.CurrentTab().find_bar().FindPrevious(); },
       {"<Primary><Shift>g"}, true},
      {"zoom-in", [](W& w) { w.tab_strip_.CurrentTab().page().ZoomIn(); },
       {"<Primary>plus", "<Primary>equal", "<Primary>KP_Add"}, true},
      {"zoom-out", [](W& w) { w.tab_strip_.CurrentTab().page().ZoomOut(); },
       {"<Primary>minus", "<Primary>KP_Subtract"}, true},
      {"zoom-reset", [](W& w) { w.tab_strip_.CurrentTab().page().ResetZoom(); }, {"<Primary>0", "<Primary>KP_0"}, true},
      {"print", [](W& w) { w.tab_strip_.CurrentTab().page().Print(); }, {"<Primary>p"}, true},
      {"developer-tools", [](W& w) { w.OnDeveloperTools(); }, {"F12", "<Primary><Shift>i"}, true},
      {"view-source", [](W& w) { w.tab_strip_.CurrentTab().page().ViewSource(); }, {"<Primary>u"}, true},
      {"history", [](W& w) { w.OnShowHistory(); }, {"<Primary>h"}, true},
      {"quit", [](W& w) { w.quit_ ? w.quit_() : static_cast<void>(w.close()); }, {"<Primary>q"}, true},
      {"toggle-favourites", [](W& w) { w.favourites_panel_.Toggle(); }, {}, false},
      {"open-favourites-folder", [](W& w) { w.favourites_panel_.OpenFolder(); }, {"F3"}, false},
      {"add-favourite", [](W& w) { w.OnAddFavourite(); }, {"<Primary>d"}, true},
      {"import-favourites", [](W& w) { OpenImportFavourites(w.context_, w); }, {}, false},
      {"export-favourites", [](W& w) { ExportFavourites(w.context_, w); }, {}, false},
      {"settings", [](W& w) { w.OnSettings(SettingsStart::kSettings); }, {"F1"}, false},
      {"about", [](W& w) { w.OnSettings(SettingsStart::kAbout); }, {}, false},
      {"check-update", [](W& w) { w.update_windows_.OpenCheckUpdate(&w); }, {"F2"}, false},
      {"update-log", [](W& w) { w.update_windows_.OpenUpdateLog(&w); }, {}, false},
      {"login", [](W& w) { w.account_windows_.OpenLogin(&w); }, {}, false},
      {"personal-centre", [](W& w) { w.account_windows_.OpenPersonalCentre(&w); }, {}, false},
      {"logout", [](W& w) { w.OnLogout(); }, {}, false},
  };
  return kCommands;
}

void MainWindow::InstallActions() {
  auto before_page = Gtk::ShortcutController::create();
  before_page->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  for (const Command& command : CommandTable()) {
    auto action = add_action(command.name, [this, run = command.run] {
      if (run != nullptr) run(*this);
    });
    // A command that cannot do its job yet is offered disabled, never inert.
    action->set_enabled(command.run != nullptr);
    if (std::string(command.name) == "logout") logout_action_ = action;
    if (std::string(command.name) == "reopen-closed-tab") reopen_action_ = action;
    // Enabled once the window has someone to open windows for it.
    if (std::string(command.name) == "new-window") new_window_action_ = action;
    if (std::string(command.name) == "new-private-window") new_private_window_action_ = action;
    if (!command.before_page) continue;
    for (const char* key : command.keys) {
      before_page->add_shortcut(Gtk::Shortcut::create(Gtk::ShortcutTrigger::parse_string(key),
                                                      Gtk::NamedAction::create(std::string("win.") + command.name)));
    }
  }
  add_controller(before_page);
  UpdateReopenAction();
  new_window_action_->set_enabled(false);
  new_private_window_action_->set_enabled(false);

  // Escape gives the screen back from a page's element, whatever has the
  // focus, before the page or the stop command sees it.
  auto keys = Gtk::EventControllerKey::create();
  keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  keys->signal_key_pressed().connect(
      [this](guint keyval, guint, Gdk::ModifierType) {
        if (keyval != GDK_KEY_Escape || !page_fullscreen_) return false;
        tab_strip_.CurrentTab().page().LeaveFullscreen();
        return true;
      },
      false);
  add_controller(keys);
}

void MainWindow::InstallAccelerators(Gtk::Application& app) {
  for (const Command& command : CommandTable()) {
    std::vector<Glib::ustring> keys(command.keys.begin(), command.keys.end());
    app.set_accels_for_action(std::string("win.") + command.name, keys);
  }
}

void MainWindow::SelectNeighbourTab(int step) {
  const int count = tab_strip_.BrowsingTabCount();
  const int index = tab_strip_.IndexOf(tab_strip_.CurrentTab());
  tab_strip_.SelectTab(((index + step) % count + count) % count);
}

void MainWindow::SelectTabNumber(int number) {
  if (number <= tab_strip_.BrowsingTabCount()) tab_strip_.SelectTab(number - 1);
}

void MainWindow::OnDeveloperTools() {
  // Off until the user asks: F12 turns the inspector on for the rest of the run.
  profile_.SetDeveloperExtras(true);
  tab_strip_.CurrentTab().page().ShowInspector();
}

void MainWindow::BuildMenu() {
  auto menu = Gio::Menu::create();
  auto settings = Gio::Menu::create();
  auto windows = Gio::Menu::create();
  windows->append("新建窗口", "win.new-window");
  windows->append("新建无痕窗口", "win.new-private-window");
  settings->append_section(windows);
  settings->append("设置F1", "win.settings");
  settings->append("检查更新(F2)", "win.check-update");
  menu->append_submenu("菜单._C", settings);
  auto favourites = Gio::Menu::create();
  favourites->append("添加到收藏夹(F1)", "win.add-favourite");
  favourites->append("打开收藏目录(F2)", "win.toggle-favourites");
  favourites->append("打开保存地址(F3)", "win.open-favourites-folder");
  favourites->append("导入收藏…", "win.import-favourites");
  favourites->append("导出收藏…", "win.export-favourites");
  menu->append_submenu("收藏._S", favourites);
  auto help = Gio::Menu::create();
  help->append("更新日志(F1)", "win.update-log");
  help->append("关于(F2)", "win.about");
  menu->append_submenu("帮助._H", help);
  auto user = Gio::Menu::create();
  user->append("登录注册(F1)", "win.login");
  user->append("个人中心(F2)", "win.personal-centre");
  user->append("注销登录(F3)", "win.logout");
  menu->append_submenu("用户._Y", user);

  auto* bar = Gtk::make_managed<Gtk::PopoverMenuBar>(menu);
  bar->set_name("menu-bar");
  layout_.prepend(*bar);
  menu_bar_ = bar;
}

void MainWindow::OnLogout() { context_.login_state().LogOut(); }

void MainWindow::UpdateReopenAction() {
  if (reopen_action_) reopen_action_->set_enabled(!tab_strip_.closed_tabs().empty());
}

// The page on screen is the one the user means: its address and title are
// offered, and a favourite opens in its tab.
void MainWindow::OnAddFavourite() {
  BrowserTab& tab = tab_strip_.CurrentTab();
  OnAddFavourite(tab.page().Uri(), tab.page().Title());
}

void MainWindow::OnAddFavourite(const std::string& address, const std::string& title) {
  auto window = std::make_unique<AddFavouriteWindow>(context_.favourites(), context_.ui_host(), address, title);
  window->signal_saved().connect(sigc::mem_fun(favourites_panel_, &FavouritesPanel::ShowSaved));
  context_.ui_host().ShowModal(std::move(window), this);
}

// The same question and the same work as "清除浏览数据" in the settings.
void MainWindow::OnClearBrowsingData() {
  AskToClearBrowsingData(context_, this, tasks_);
}

void MainWindow::OnShowHistory() {
  auto window = std::make_unique<HistoryWindow>(context_.history(), context_.ui_host(),
                                                [this](const std::string& url) { LoadInCurrentTab(url); });
  context_.ui_host().ShowModal(std::move(window), this);
}

void MainWindow::OnOpenFavourite(const std::string& address) {
  LoadInCurrentTab(core::NormaliseAddress(address));
}

// "设置F1" goes to the stored home page once the window has closed; "关于(F2)"
// shows the same window on its "关于" page and goes nowhere, and so does the
// shield's "广告拦截设置…", which shows the "广告拦截" page.
void MainWindow::OnSettings(SettingsStart start) {
  using Page = SettingsWindow::Page;
  auto window = std::make_unique<SettingsWindow>(context_.config(), context_.settings(), context_.ui_host(),
                                                 start == SettingsStart::kAbout ? Page::kAbout : Page::kSettings);
  // Browsing data and session restore, below the home page; the window owns it.
  window->AppendSection(*Gtk::make_managed<BrowsingSettingsSection>(context_));
  window->AppendSection(*Gtk::make_managed<PasswordsSettingsSection>(context_.site_passwords(), context_.ui_host()));
  auto* blocking = Gtk::make_managed<ContentBlockingSettingsSection>(context_.content_filters(), context_.ui_host());
  window->AppendPage(*blocking, "广告拦截");
  if (start == SettingsStart::kContentBlocking) window->ShowPage(*blocking);
  std::function<void()> on_closed;
  if (start == SettingsStart::kSettings) {
    // A slot on this window: it does nothing once the window is gone.
    sigc::slot<void()> after = sigc::mem_fun(*this, &MainWindow::LoadHomePageAfterSettings);
    on_closed = [after] { after(); };
  }
  context_.ui_host().ShowModal(std::move(window), this, std::move(on_closed));
}

void MainWindow::LoadHomePageAfterSettings() {
  // An empty home page leaves the tab where it is.
  const std::string home = context_.settings().HomePage();
  if (!home.empty()) LoadInCurrentTab(core::NormaliseAddress(home));
}

}  // namespace nuve::ui
