#include "ui/update/update_log_window.h"

#include "ui/account/account_widgets.h"

namespace nuve::ui {

UpdateLogWindow::UpdateLogWindow() {
  heading_.set_name("标签1");
  heading_.set_text("beta M1.3.00 更新日志");
  heading_.add_css_class("title-4");
  heading_.set_xalign(0);
  changes_.set_name("透明标签1");
  changes_.set_text(
      "1.开放限时限量注册，2017.4.1日结束，限量注册1000个帐号。\n"
      "2.修复退出浏览器会自动清空收藏夹的问题。\n"
      "3.更改打开浏览器时打开的网页。\n"
      "4.优化部分窗口布局。\n"
      "5.修复部分BUG。\n");
  changes_.set_xalign(0);
  changes_.set_selectable(true);
  layout_.append(heading_);
  layout_.append(changes_);
  SetUpAccountWindow(*this, "更新日志", layout_);
}

}  // namespace nuve::ui
