#include "ui/update/new_version_window.h"

#include "ui/account/account_widgets.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

NewVersionWindow::NewVersionWindow(std::string download_page, UiHost& ui_host, std::function<void()> quit)
    : download_page_(std::move(download_page)), ui_host_(ui_host), quit_(std::move(quit)) {
  notice_.set_name("透明标签1");
  notice_.set_text("本次限时限量注册已结束，请更新版本！\n请在弹出页面中选择下载M1.3.10版本！");
  download_button_.set_name("按钮1");
  quit_button_.set_name("按钮2");
  button_row_.set_homogeneous(true);
  button_row_.append(download_button_);
  button_row_.append(quit_button_);
  layout_.append(notice_);
  layout_.append(button_row_);
  SetUpAccountWindow(*this, "发现新版本", layout_);
  download_button_.signal_clicked().connect([this] {
    ui_host_.OpenUri(download_page_);
    if (quit_) quit_();
  });
  quit_button_.signal_clicked().connect([this] {
    if (quit_) quit_();
  });
}

}  // namespace nuve::ui
