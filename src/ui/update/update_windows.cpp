#include "ui/update/update_windows.h"

#include <memory>

#include "ui/app/app_context.h"
#include "ui/app/ui_host.h"
#include "ui/update/check_update_window.h"
#include "ui/update/new_version_window.h"
#include "ui/update/update_log_window.h"

namespace nuve::ui {

void UpdateWindows::OpenCheckUpdate(Gtk::Window* parent) {
  context_.ui_host().ShowModal(std::make_unique<CheckUpdateWindow>(context_.tasks(), context_.config(),
                                                                   context_.read_url_options(), context_.ui_host()),
                               parent);
}

void UpdateWindows::OpenUpdateLog(Gtk::Window* parent) {
  context_.ui_host().ShowModal(std::make_unique<UpdateLogWindow>(), parent);
}

void UpdateWindows::OpenNewVersion(Gtk::Window* parent, std::function<void()> quit) {
  context_.ui_host().ShowModal(
      std::make_unique<NewVersionWindow>(context_.config().download_page, context_.ui_host(), std::move(quit)),
      parent);
}

}  // namespace nuve::ui
