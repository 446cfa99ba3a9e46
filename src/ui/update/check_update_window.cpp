#include "ui/update/check_update_window.h"

#include "core/app/version_lookup.h"
#include "core/app/window_title.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

CheckUpdateWindow::CheckUpdateWindow(core::TaskRunner& tasks, const core::Config& config,
                                     core::ReadUrlOptions options, UiHost& ui_host)
    : tasks_(tasks), config_(config), options_(std::move(options)), ui_host_(ui_host) {
  Build();
  check_button_.signal_clicked().connect(sigc::mem_fun(*this, &CheckUpdateWindow::OnCheckClicked));
  download_button_.signal_clicked().connect([this] { ui_host_.OpenUri(config_.download_page); });
  LookUp(false);
}

void CheckUpdateWindow::Build() {
  current_caption_.set_name("透明标签1");
  current_.set_name("透明标签3");
  current_.set_text(core::kVersionLabel);
  latest_caption_.set_name("透明标签2");
  latest_label_.set_name("透明标签4");
  latest_label_.set_visible(false);
  result_.set_name("透明标签5");
  check_button_.set_name("按钮1");
  download_button_.set_name("按钮2");
  download_button_.set_visible(false);

  versions_.set_row_spacing(6);
  versions_.set_column_spacing(8);
  AddFormRow(versions_, 0, current_caption_, current_);
  AddFormRow(versions_, 1, latest_caption_, latest_label_);
  current_.set_xalign(0);
  latest_label_.set_xalign(0);
  result_.set_wrap(true);
  button_row_.set_halign(Gtk::Align::END);
  button_row_.append(busy_.spinner());
  button_row_.append(check_button_);
  button_row_.append(download_button_);
  layout_.append(versions_);
  layout_.append(result_);
  layout_.append(button_row_);
  set_default_size(320, -1);
  SetUpAccountWindow(*this, "检测更新 - NUVE浏览器M1", layout_);
}

void CheckUpdateWindow::LookUp(bool then_compare) {
  busy_.Begin();
  tasks_.Run<std::string>(
      scope_,
      [config = config_, options = options_](std::stop_token stop) mutable {
        options.stop = stop;
        return core::LatestVersionLookup(config, options);
      },
      [this, then_compare](std::string latest) { OnLookedUp(latest, then_compare); });
}

void CheckUpdateWindow::OnLookedUp(const std::string& latest, bool then_compare) {
  busy_.End();
  looked_up_ = true;
  latest_ = latest;
  latest_label_.set_text(latest);
  if (then_compare) ShowOutcome();
}

void CheckUpdateWindow::OnCheckClicked() {
  if (busy_.busy()) return;
  // After a failed lookup the press looks again; a label once found is kept
  // until the window opens again.
  if (looked_up_ && latest_.empty()) {
    LookUp(true);
    return;
  }
  ShowOutcome();
}

void CheckUpdateWindow::ShowOutcome() {
  const core::UpdateCheckOutcome outcome = core::CompareWithLatest(latest_);
  ShowColoured(result_, outcome.result);
  latest_label_.set_visible(outcome.show_latest);
  if (outcome.offer_download) download_button_.set_visible(true);
}

}  // namespace nuve::ui
