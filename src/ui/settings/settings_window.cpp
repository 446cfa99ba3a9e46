#include "ui/settings/settings_window.h"

#include "core/app/log.h"
#include "core/app/window_title.h"
#include "core/start_page/start_page.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {
namespace {

std::string AboutText() {
  return std::string("当前版本：") + core::kVersionLabel +
         "\r\n\r\n当前版本开放限时注册功能！现在注册的帐号与以后其它NUVE旗下软件帐号通用！\r\n"
         "限时注册截止至2017.4.1。同时限量注册帐号1000个，若截止之前注册完毕，则提前停止注册，"
         "停止注册时将强制更新！";
}

}  // namespace

SettingsWindow::SettingsWindow(const core::Config& config, const core::AppSettings& settings,
                               UiHost& ui_host, Page page)
    : settings_(settings), ui_host_(ui_host) {
  set_title("菜单 - NUVE浏览器M1");
  set_default_size(480, 320);

  // The home page: empty at opening, whatever is stored.
  home_entry_.set_name("编辑框1");
  home_entry_.set_hexpand(true);
  home_entry_.set_placeholder_text("主页地址，例如 www.example.com");
  save_button_.set_name("按钮7");
  save_button_.signal_clicked().connect(sigc::mem_fun(*this, &SettingsWindow::OnSaveClicked));
  home_row_.append(home_entry_);
  home_row_.append(save_button_);
  presets_label_.set_name("透明标签6");
  presets_row_.append(presets_label_);
  AddPresetButton(0, "图形按钮1", config.portal_a);
  AddPresetButton(1, "图形按钮2", config.search_engine);
  AddPresetButton(2, "图形按钮3", config.portal_b);
  home_box_.set_margin(12);
  home_box_.append(home_row_);
  home_box_.append(presets_row_);
  home_group_.set_name("分组框1");
  home_group_.set_child(home_box_);
  settings_page_.set_margin(12);
  AppendSection(home_group_);

  about_label_.set_name("透明标签1");
  about_label_.set_text(AboutText());
  about_label_.set_wrap(true);
  about_label_.set_xalign(0);
  about_label_.set_yalign(0);
  about_label_.set_margin(12);

  pages_.set_name("选择夹1");
  pages_.append_page(settings_page_, "设置");
  pages_.append_page(about_label_, "关于");
  set_child(pages_);
  // Chosen once the notebook is in the window: an unrooted notebook asks
  // GTK for the focus of a window it does not have yet (a Gtk-CRITICAL).
  pages_.set_current_page(page == Page::kAbout ? pages_.page_num(about_label_) : 0);
}

void SettingsWindow::AddPresetButton(int index, const char* form_name, const std::string& address) {
  Gtk::Button& button = preset_buttons_.at(static_cast<size_t>(index));
  button.set_name(form_name);
  auto* content = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 4);
  auto* icon = Gtk::make_managed<Gtk::Image>();
  icon->set_from_icon_name(index == 1 ? "system-search-symbolic" : "go-home-symbolic");
  content->append(*icon);
  // The program's own start page goes by its name, not its address.
  const bool start_page = address == core::kStartPageAddress;
  content->append(*Gtk::make_managed<Gtk::Label>(start_page ? std::string("起始页") : address));
  button.set_child(*content);
  button.set_tooltip_text("填入 " + address);
  // A preset only fills the box; "保存" stores it.
  button.signal_clicked().connect([this, address] { home_entry_.set_text(address); });
  presets_row_.append(button);
}

void SettingsWindow::AppendSection(Gtk::Widget& section) { settings_page_.append(section); }

void SettingsWindow::AppendPage(Gtk::Widget& content, const std::string& title) {
  auto* scrolled = Gtk::make_managed<Gtk::ScrolledWindow>();
  scrolled->set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
  scrolled->set_propagate_natural_height(true);
  scrolled->set_max_content_height(560);
  content.set_margin(12);
  scrolled->set_child(content);
  pages_.insert_page(*scrolled, title, pages_.page_num(about_label_));
}

void SettingsWindow::ShowPage(Gtk::Widget& content) {
  // The page is the scrolled window (and its viewport) around `content`.
  for (Gtk::Widget* widget = &content; widget != nullptr; widget = widget->get_parent()) {
    if (const int index = pages_.page_num(*widget); index >= 0) {
      pages_.set_current_page(index);
      return;
    }
  }
}

SettingsWindow::Page SettingsWindow::CurrentPage() const {
  return pages_.get_current_page() == pages_.page_num(about_label_) ? Page::kAbout : Page::kSettings;
}

void SettingsWindow::OnSaveClicked() {
  // Saved as typed, also when empty; success says nothing.
  const core::Status saved = settings_.SetHomePage(home_entry_.get_text());
  if (!saved.ok()) ui_host_.Error(this, "保存失败：" + saved.error().detail);
}

}  // namespace nuve::ui
