#pragma once
// "检测更新 - NUVE浏览器M1": looks the latest published version up when it
// opens (off the user-interface thread, 10 seconds at most) and, on
// "检查更新", says whether this build is the latest, offering "下载更新"
// when it is not. A failed lookup is a failure, never a new version; a
// press after a failure looks again.

#include <gtkmm.h>

#include <string>

#include "core/app/config.h"
#include "core/util/read_url.h"
#include "core/util/task_runner.h"
#include "core/util/task_scope.h"
#include "ui/account/account_widgets.h"

namespace nuve::ui {

class UiHost;

class CheckUpdateWindow : public Gtk::Window {
 public:
  CheckUpdateWindow(core::TaskRunner& tasks, const core::Config& config, core::ReadUrlOptions options,
                    UiHost& ui_host);

 private:
  void Build();
  void LookUp(bool then_compare);
  void OnLookedUp(const std::string& latest, bool then_compare);
  void OnCheckClicked();
  void ShowOutcome();

  core::TaskRunner& tasks_;
  core::Config config_;
  core::ReadUrlOptions options_;
  UiHost& ui_host_;
  std::string latest_;
  bool looked_up_ = false;

  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 10};
  Gtk::Grid versions_;
  Gtk::Label current_caption_{"当前版本："};
  Gtk::Label current_;
  Gtk::Label latest_caption_{"最新版本："};
  Gtk::Label latest_label_;
  Gtk::Label result_;
  Gtk::Box button_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button check_button_{"检查更新"};
  Gtk::Button download_button_{"下载更新"};
  BusyState busy_{{&check_button_}};
  // Last: the lookup's reply is dropped before the widgets go.
  core::TaskScope scope_;
};

}  // namespace nuve::ui
