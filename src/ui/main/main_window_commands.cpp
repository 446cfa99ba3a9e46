// The main window's command table: menu items and keyboard shortcuts.
#include "core/app/address.h"
#include "core/app/log.h"
#include "ui/app/app_context.h"
#include "ui/app/ui_host.h"
#include "ui/favourites/add_favourite_window.h"
#include "ui/main/main_window.h"
#include "ui/settings/settings_window.h"

namespace nuve::ui {

void MainWindow::InstallActions() {
  add_action("new-tab", [this] { tab_strip_.OpenNewTab(); });
  add_action("close-tab", [this] { tab_strip_.CloseCurrentTab(); });
  add_action("reload", [this] { tab_strip_.CurrentTab().Reload(); });
  add_action("go-back", [this] { tab_strip_.CurrentTab().GoBack(); });
  add_action("go-forward", [this] { tab_strip_.CurrentTab().GoForward(); });
  add_action("focus-address", [this] { navigation_bar_.FocusAddress(); });
  add_action("quit", [this] { close(); });
  add_action("toggle-favourites", [this] { favourites_panel_.Toggle(); });
  add_action("open-favourites-folder", [this] { favourites_panel_.OpenFolder(); });
  add_action("add-favourite", sigc::mem_fun(*this, &MainWindow::OnAddFavourite));
  add_action("settings", [this] { OnSettings(false); });
  add_action("about", [this] { OnSettings(true); });
  logout_action_ = add_action("logout", sigc::mem_fun(*this, &MainWindow::OnLogout));
  add_action("login", [this] { account_windows_.OpenLogin(this); });
  add_action("personal-centre", [this] { account_windows_.OpenPersonalCentre(this); });
  add_action("check-update", [this] { update_windows_.OpenCheckUpdate(this); });
  add_action("update-log", [this] { update_windows_.OpenUpdateLog(this); });
}

void MainWindow::InstallAccelerators(Gtk::Application& app) {
  app.set_accels_for_action("win.settings", {"F1"});
  app.set_accels_for_action("win.check-update", {"F2"});
  app.set_accels_for_action("win.open-favourites-folder", {"F3"});
  app.set_accels_for_action("win.new-tab", {"<Primary>t"});
  app.set_accels_for_action("win.close-tab", {"<Primary>w"});
  app.set_accels_for_action("win.reload", {"F5", "<Primary>r"});
  app.set_accels_for_action("win.go-back", {"<Alt>Left"});
  app.set_accels_for_action("win.go-forward", {"<Alt>Right"});
  app.set_accels_for_action("win.focus-address", {"<Primary>l"});
  app.set_accels_for_action("win.quit", {"<Primary>q"});
}

void MainWindow::BuildMenu() {
  auto menu = Gio::Menu::create();
  auto settings = Gio::Menu::create();
  settings->append("设置F1", "win.settings");
  settings->append("检查更新(F2)", "win.check-update");
  menu->append_submenu("菜单._C", settings);
  auto favourites = Gio::Menu::create();
  favourites->append("添加到收藏夹(F1)", "win.add-favourite");
  favourites->append("打开收藏目录(F2)", "win.toggle-favourites");
  favourites->append("打开保存地址(F3)", "win.open-favourites-folder");
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
}

void MainWindow::OnLogout() { context_.login_state().LogOut(); }

// The page on screen is the one the user means: its address and title are
// offered, and a favourite opens in its tab.
void MainWindow::OnAddFavourite() {
  BrowserTab& tab = tab_strip_.CurrentTab();
  auto window = std::make_unique<AddFavouriteWindow>(context_.favourites(), context_.ui_host(), tab.Uri(),
                                                     tab.Title());
  window->signal_saved().connect(sigc::mem_fun(favourites_panel_, &FavouritesPanel::ShowSaved));
  context_.ui_host().ShowModal(std::move(window), this);
}

void MainWindow::OnOpenFavourite(const std::string& address) {
  tab_strip_.CurrentTab().Load(core::NormaliseAddress(address));
}

// "设置F1" goes to the stored home page once the window has closed; "关于(F2)"
// shows the same window on its "关于" page and goes nowhere.
void MainWindow::OnSettings(bool about_page) {
  using Page = SettingsWindow::Page;
  auto window = std::make_unique<SettingsWindow>(context_.config(), context_.settings(), context_.ui_host(),
                                                 about_page ? Page::kAbout : Page::kSettings);
  std::function<void()> on_closed;
  if (!about_page) {
    // A slot on this window: it does nothing once the window is gone.
    sigc::slot<void()> after = sigc::mem_fun(*this, &MainWindow::LoadHomePageAfterSettings);
    on_closed = [after] { after(); };
  }
  context_.ui_host().ShowModal(std::move(window), this, std::move(on_closed));
}

void MainWindow::LoadHomePageAfterSettings() {
  // An empty home page leaves the tab where it is.
  const std::string home = context_.settings().HomePage();
  if (!home.empty()) tab_strip_.CurrentTab().Load(core::NormaliseAddress(home));
}

}  // namespace nuve::ui
