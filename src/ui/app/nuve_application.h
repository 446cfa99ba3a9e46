#pragma once
// The GTK application: owns the application context and the browser
// windows, and ends when the last window closes. Every start is a process
// of its own.

#include <gtkmm.h>

#include <memory>

#include "core/app/command_line.h"
#include "core/app/config.h"

namespace nuve::ui {

class AppContext;
class GtkUiHost;
class BrowserWindows;

class NuveApplication : public Gtk::Application {
 public:
  static Glib::RefPtr<NuveApplication> Create(core::Config config, core::StartRequest start);
  ~NuveApplication() override;

 protected:
  NuveApplication(core::Config config, core::StartRequest start);
  void on_startup() override;
  void on_activate() override;
  void on_shutdown() override;

 private:
  void TearDown();
  core::Config config_;
  core::StartRequest start_;
  std::unique_ptr<GtkUiHost> ui_host_;
  std::unique_ptr<AppContext> context_;
  std::unique_ptr<BrowserWindows> windows_;
};

}  // namespace nuve::ui
