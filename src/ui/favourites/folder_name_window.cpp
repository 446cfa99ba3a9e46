#include "ui/favourites/folder_name_window.h"

#include "core/favourites/favourite_name.h"
#include "ui/app/accessible.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

FolderNameWindow::FolderNameWindow(const core::FavouritesStore& store, UiHost& ui_host, std::filesystem::path parent)
    : store_(store), ui_host_(ui_host), parent_(std::move(parent)) {
  set_title("新建文件夹");
  set_default_size(320, -1);
  set_resizable(false);
  label_.set_xalign(0);
  name_entry_.set_name("文件夹名称");
  SetAccessibleLabel(name_entry_, "文件夹名称");
  name_entry_.set_text("新建文件夹");
  name_entry_.set_activates_default(true);
  ok_button_.set_name("确定");
  ok_button_.add_css_class("suggested-action");
  cancel_button_.set_name("取消");
  ok_button_.signal_clicked().connect(sigc::mem_fun(*this, &FolderNameWindow::Confirm));
  cancel_button_.signal_clicked().connect([this] { close(); });
  buttons_.set_halign(Gtk::Align::END);
  buttons_.append(cancel_button_);
  buttons_.append(ok_button_);
  layout_.set_margin(16);
  layout_.append(label_);
  layout_.append(name_entry_);
  layout_.append(buttons_);
  set_child(layout_);
  set_default_widget(ok_button_);
}

void FolderNameWindow::Confirm() {
  const std::string name = name_entry_.get_text();
  if (name.empty()) {
    ui_host_.Info(this, "请输入文件夹名称！");
    return;
  }
  if (core::CheckFavouriteName(name) != core::FavouriteNameFault::kNone || name.starts_with('.')) {
    ui_host_.Info(this, "文件夹名称不能含有 " + std::string(core::kForbiddenNameCharacters) +
                            " 或控制字符，不能以点开头，不能以点或空格结尾，最长 " +
                            std::to_string(core::kMaxFavouriteNameBytes) + " 字节。");
    return;
  }
  const core::FavouriteAdded made = store_.CreateFolder(name, parent_);
  if (!made.status.ok()) {
    ui_host_.Error(this, "无法新建文件夹：" + made.status.error().detail);
    return;
  }
  created_.emit(made.entry);
  close();
}

}  // namespace nuve::ui
