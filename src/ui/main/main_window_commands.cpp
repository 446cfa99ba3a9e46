// The main window's command table: menu items and keyboard shortcuts.
#include <gio/gio.h>

#include "core/app/config.h"
#include "core/app/log.h"
#include "ui/app/app_context.h"
#include "ui/app/ui_host.h"
#include "ui/history/history_window.h"
#include "ui/main/main_window.h"

namespace nuve::ui {

void MainWindow::InstallActions() {
  add_action("new-tab", [this] { tab_strip_.OpenNewTab(); });
  add_action("close-tab", [this] { tab_strip_.CloseCurrentTab(); });
  add_action("reload", [this] { tab_strip_.CurrentTab().Reload(); });
  add_action("go-back", [this] { tab_strip_.CurrentTab().GoBack(); });
  add_action("go-forward", [this] { tab_strip_.CurrentTab().GoForward(); });
  add_action("focus-address", [this] { navigation_bar_.FocusAddress(); });
  add_action("quit", [this] { close(); });
  add_action("history", sigc::mem_fun(*this, &MainWindow::OnShowHistory));
  add_action("toggle-favourites", [this] { favourites_panel_.Toggle(); });
  add_action("open-favourites-folder", sigc::mem_fun(*this, &MainWindow::OnOpenFavouritesFolder));
  logout_action_ = add_action("logout", sigc::mem_fun(*this, &MainWindow::OnLogout));
  // The windows of these items come with the settings, favourites and
  // account windows; until then the items are there and do nothing.
  for (const char* name : {"settings", "check-update", "add-favourite", "update-log", "about", "login",
                           "personal-centre"}) {
    add_action(name, [] {});
  }
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
  app.set_accels_for_action("win.history", {"<Primary>h"});
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

void MainWindow::OnShowHistory() {
  auto window = std::make_unique<HistoryWindow>(context_.history(), context_.ui_host(),
                                                [this](const std::string& url) { LoadInCurrentTab(url); });
  context_.ui_host().ShowModal(std::move(window), this);
}

void MainWindow::OnLogout() {
  if (const core::Status s = context_.settings().SetLoginState("0"); !s.ok()) {
    core::LogWarning("logout", s.error().detail);
  }
  context_.main_account().StopKeepAlive();
}

void MainWindow::OnOpenFavouritesFolder() {
  const auto folder = context_.config().data_dir / "收藏夹";
  core::EnsureDirectory(folder);
  gchar* uri = g_filename_to_uri(folder.c_str(), nullptr, nullptr);
  if (uri == nullptr) return;
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(uri, nullptr, &error)) {
    core::LogWarning("favourites", std::string("cannot open the folder: ") + error->message);
    g_error_free(error);
  }
  g_free(uri);
}

}  // namespace nuve::ui
