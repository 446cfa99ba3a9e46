#include "ui/app/nuve_application.h"

#include "core/app/log.h"
#include "core/app/startup_trace.h"
#include "ui/app/app_context.h"
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
  main_window_.reset();
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
  if (main_window_) {
    main_window_->present();
    return;
  }
  try {
    main_window_ = std::make_unique<MainWindow>(*context_, start_);
  } catch (const std::exception& e) {
    core::LogError("start-up", e.what());
    quit();
    return;
  }
  add_window(*main_window_);
  // The application owns the main window; once it is hidden (closed) it is
  // deleted from an idle callback, never inside its own signal, and the
  // application ends because no window is left.
  main_window_->signal_hide().connect([this] {
    Glib::signal_idle().connect_once([this] {
      if (main_window_) remove_window(*main_window_);
      main_window_.reset();
    });
  });
  main_window_->present();
  core::StartupMark("main window presented");
}

}  // namespace nuve::ui
