#include "ui/favourites/add_favourite_window.h"

#include "core/app/log.h"
#include "core/favourites/favourite_name.h"
#include "core/util/legacy_text.h"
#include "ui/app/accessible.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {
namespace {

// What the user is told when a remark cannot be a file name: the rule it
// breaks, then every rule, so the next try is right.
std::string NameRefusal(core::FavouriteNameFault fault) {
  std::string reason;
  switch (fault) {
    case core::FavouriteNameFault::kForbiddenCharacter: reason = "备注中含有不能用在文件名中的字符。"; break;
    case core::FavouriteNameFault::kControlCharacter: reason = "备注中含有控制字符。"; break;
    case core::FavouriteNameFault::kDotName: reason = "备注不能是“.”或“..”。"; break;
    case core::FavouriteNameFault::kTrailingDotOrBlank: reason = "备注不能以点或空格结尾。"; break;
    case core::FavouriteNameFault::kTooLong: reason = "备注太长。"; break;
    default: reason = "备注中含有无效的字符。"; break;
  }
  return reason + "\n备注将用作收藏的文件名：不能含有 " + std::string(core::kForbiddenNameCharacters) +
         " 或控制字符，不能是“.”或“..”，不能以点或空格结尾，最长 " +
         std::to_string(core::kMaxFavouriteNameBytes) + " 字节（约 66 个汉字）。";
}

}  // namespace

AddFavouriteWindow::AddFavouriteWindow(const core::FavouritesStore& store, UiHost& ui_host,
                                       const std::string& address, const std::string& title,
                                       const std::filesystem::path& folder)
    : store_(store), ui_host_(ui_host) {
  set_title("收藏");
  set_default_size(420, -1);
  set_resizable(false);
  address_label_.set_name("透明标签1");
  address_label_.set_xalign(0);
  address_entry_.set_name("编辑框1");
  address_entry_.set_text(address);
  address_entry_.set_hexpand(true);
  address_entry_.set_activates_default(true);
  remark_label_.set_name("透明标签2");
  remark_label_.set_xalign(0);
  remark_entry_.set_name("编辑框2");
  remark_entry_.set_text(title);
  remark_entry_.set_activates_default(true);
  // The places: the top level, then every folder as a path, indented.
  auto names = Gtk::StringList::create({"收藏夹"});
  folders_.push_back(store_.folder());
  for (const core::FavouriteEntry& entry : store_.AllFolders()) {
    const std::filesystem::path relative = entry.file.lexically_relative(store_.folder());
    std::string shown = "收藏夹";
    for (auto part = relative.begin(); part != relative.end(); ++part) {
      shown += " / " + core::DecodeLegacyText(part->string());
    }
    names->append(shown);
    folders_.push_back(entry.file);
  }
  folder_label_.set_xalign(0);
  folder_picker_.set_name("收藏位置");
  folder_picker_.set_model(names);
  SetAccessibleLabel(folder_picker_, "保存到文件夹");
  if (!folder.empty()) PickFolder(folder);
  confirm_button_.set_name("按钮1");
  confirm_button_.add_css_class("suggested-action");
  cancel_button_.set_name("按钮2");
  confirm_button_.signal_clicked().connect(sigc::mem_fun(*this, &AddFavouriteWindow::Confirm));
  cancel_button_.signal_clicked().connect([this] { close(); });

  grid_.set_row_spacing(8);
  grid_.set_column_spacing(8);
  grid_.set_margin(16);
  grid_.attach(address_label_, 0, 0);
  grid_.attach(address_entry_, 1, 0);
  grid_.attach(remark_label_, 0, 1);
  grid_.attach(remark_entry_, 1, 1);
  grid_.attach(folder_label_, 0, 2);
  grid_.attach(folder_picker_, 1, 2);
  buttons_.set_halign(Gtk::Align::END);
  buttons_.append(cancel_button_);
  buttons_.append(confirm_button_);
  grid_.attach(buttons_, 0, 3, 2, 1);
  set_child(grid_);
  set_default_widget(confirm_button_);
}

void AddFavouriteWindow::Confirm() {
  // The folder is made first, whatever the input: it is where the user will
  // look for the file.
  if (const core::Status folder = store_.EnsureFolder(); !folder.ok()) {
    core::LogWarning("favourites", "cannot create the folder: " + folder.error().detail);
  }
  const std::string address = address_entry_.get_text();
  const std::string remark = remark_entry_.get_text();
  if (address.empty()) {
    ui_host_.Info(this, "请输入收藏网址！");
    return;
  }
  if (remark.empty()) {
    ui_host_.Info(this, "请输入收藏网址备注！");
    return;
  }
  if (const auto fault = core::CheckFavouriteName(remark); fault != core::FavouriteNameFault::kNone) {
    ui_host_.Info(this, NameRefusal(fault));
    return;
  }
  const core::FavouriteAdded added = store_.Add(remark, address, PickedFolder());
  if (!added.status.ok()) {
    ui_host_.Error(this, "收藏失败：" + added.status.error().detail);
    return;
  }
  saved_.emit(added.entry);
  // The window closes at once; the message stands over the window it came from.
  ui_host_.Info(get_transient_for(), "成功添加到收藏夹！");
  close();
}

std::filesystem::path AddFavouriteWindow::PickedFolder() const {
  const guint picked = folder_picker_.get_selected();
  return picked < folders_.size() ? folders_[picked] : store_.folder();
}

bool AddFavouriteWindow::PickFolder(const std::filesystem::path& folder) {
  for (std::size_t i = 0; i < folders_.size(); ++i) {
    if (folders_[i] == folder.lexically_normal()) {
      folder_picker_.set_selected(static_cast<guint>(i));
      return true;
    }
  }
  return false;
}

}  // namespace nuve::ui
