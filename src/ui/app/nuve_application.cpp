#include "ui/app/nuve_application.h"

#include <algorithm>
#include <vector>

#include "core/app/log.h"
#include "core/app/startup_trace.h"
#include "ui/app/app_context.h"
#include "ui/app/browser_windows.h"
#include "ui/app/gtk_ui_host.h"
#include "ui/main/main_window.h"

namespace nuve::ui {

NuveApplication::NuveApplication(core::Config config, core::StartRequest start)
    // NON_UNIQUE: every start is its own process, never forwarded to a running one.
    : Gtk::Application("org.nuve.Browser", Gio::Application::Flags::NON_UNIQUE),
      config_(std::move(config)),
      start_(std::move(start)) {}

NuveApplication::~NuveApplication() { TearDown(); }

void NuveApplication::TearDown() {
  // Windows first, then the context they use (which stops and joins every
  // worker thread), then the host.
  windows_.reset();
  if (ui_host_) ui_host_->ReleaseAll();
  context_.reset();
}

void NuveApplication::on_shutdown() {
  // Before run() returns, not whenever the last reference to the
  // application goes: no worker of NUVE may outlive main().
  TearDown();
  Gtk::Application::on_shutdown();
}

Glib::RefPtr<NuveApplication> NuveApplication::Create(core::Config config, core::StartRequest start) {
  return Glib::make_refptr_for_instance(new NuveApplication(std::move(config), std::move(start)));
}

void NuveApplication::on_startup() {
  Gtk::Application::on_startup();
  core::StartupMark("gtk started");
  // The installed icon (org.nuve.Browser.svg) names every window of NUVE.
  Gtk::Window::set_default_icon_name("org.nuve.Browser");
  ui_host_ = std::make_unique<GtkUiHost>();
  context_ = std::make_unique<AppContext>(config_, *ui_host_);
  core::StartupMark("context built");
  MainWindow::InstallAccelerators(*this);
}

void NuveApplication::on_activate() {
  if (windows_ && !windows_->empty()) {
    windows_->windows().front()->present();
    return;
  }
  // Every window is the application's while it is open; the application
  // ends once no window is left.
  windows_ = std::make_unique<BrowserWindows>(
      *context_, [this](MainWindow& window) { add_window(window); },
      [this](MainWindow& window) {
        // The application lets go of a window by itself once it hides.
        const std::vector<Gtk::Window*> listed = get_windows();
        if (std::find(listed.begin(), listed.end(), &window) != listed.end()) remove_window(window);
      },
      [] {});
  try {
    MainWindow& first = windows_->OpenFirst(start_);
    for (MainWindow* window : windows_->windows()) {
      if (window != &first) window->present();
    }
    first.present();
  } catch (const std::exception& e) {
    core::LogError("start-up", e.what());
    quit();
    return;
  }
  core::StartupMark("main window presented");
}

}  // namespace nuve::ui
