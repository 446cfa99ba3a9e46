#include "ui/favourites/favourites_panel.h"

#include <glib.h>

#include "core/app/log.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

FavouritesPanel::FavouritesPanel(const core::FavouritesStore& store, UiHost& ui_host)
    : Gtk::Box(Gtk::Orientation::VERTICAL), store_(store), ui_host_(ui_host) {
  set_size_request(208, -1);
  set_halign(Gtk::Align::START);
  add_css_class("background");
  title_.set_hexpand(true);
  title_.set_xalign(0);
  title_.set_margin_start(6);
  hide_button_.set_name("超级按钮1");
  hide_button_.set_icon_name("window-close-symbolic");
  hide_button_.set_has_frame(false);
  hide_button_.set_tooltip_text("隐藏收藏夹");
  hide_button_.signal_clicked().connect([this] { set_visible(false); });
  header_.append(title_);
  header_.append(hide_button_);
  list_.set_name("超级列表框1");
  // A double-click (or Enter) opens a favourite; one click only selects it.
  list_.set_activate_on_single_click(false);
  list_.signal_row_activated().connect(sigc::mem_fun(*this, &FavouritesPanel::OnRowActivated));
  list_.signal_selected_rows_changed().connect(sigc::mem_fun(*this, &FavouritesPanel::UpdateMenuState));
  scroller_.set_child(list_);
  scroller_.set_vexpand(true);
  append(header_);
  append(scroller_);

  // The pop-up menu. "删除" belongs to the panel; the other two items are the
  // window's own commands, found up the widget tree.
  auto actions = Gio::SimpleActionGroup::create();
  delete_action_ = actions->add_action("delete", sigc::mem_fun(*this, &FavouritesPanel::DeleteSelected));
  insert_action_group("favourites", actions);
  auto model = Gio::Menu::create();
  model->append("添加书签", "win.add-favourite");
  model->append("删除", "favourites.delete");
  model->append("打开保存地址", "win.open-favourites-folder");
  menu_.set_name("收藏夹菜单");
  menu_.set_menu_model(model);
  menu_.set_has_arrow(false);
  menu_.set_parent(list_);
  right_click_ = Gtk::GestureClick::create();
  right_click_->set_button(GDK_BUTTON_SECONDARY);
  right_click_->signal_pressed().connect(sigc::mem_fun(*this, &FavouritesPanel::OnRightClick));
  list_.add_controller(right_click_);
  UpdateMenuState();

  set_visible(false);
}

FavouritesPanel::~FavouritesPanel() {
  if (folder_launch_) folder_launch_->cancel();
  menu_.unparent();
}

void FavouritesPanel::LoadFromStore() {
  // Rows only: the pop-up menu is a child of the list too.
  while (Gtk::ListBoxRow* row = list_.get_row_at_index(0)) list_.remove(*row);
  entries_.clear();
  for (const core::FavouriteEntry& entry : store_.List()) AppendRow(entry);
  UpdateMenuState();
  changed_.emit();
}

void FavouritesPanel::AppendRow(const core::FavouriteEntry& entry) {
  auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
  auto* icon = Gtk::make_managed<Gtk::Image>();
  icon->set_from_icon_name("web-browser-symbolic");
  auto* label = Gtk::make_managed<Gtk::Label>(entry.title);
  label->set_xalign(0);
  label->set_ellipsize(Pango::EllipsizeMode::END);
  box->set_margin_start(6);
  box->set_margin_end(6);
  box->set_tooltip_text(entry.title);
  box->append(*icon);
  box->append(*label);
  list_.append(*box);
  entries_.push_back(entry);
}

void FavouritesPanel::ShowSaved(const core::FavouriteEntry& entry) {
  for (core::FavouriteEntry& shown : entries_) {
    if (shown.file == entry.file) {
      shown = entry;
      changed_.emit();
      return;
    }
  }
  AppendRow(entry);
  changed_.emit();
}

std::vector<std::string> FavouritesPanel::Titles() const {
  std::vector<std::string> titles;
  titles.reserve(entries_.size());
  for (const auto& entry : entries_) titles.push_back(entry.title);
  return titles;
}

int FavouritesPanel::SelectedIndex() const {
  const Gtk::ListBoxRow* row = list_.get_selected_row();
  return row != nullptr ? row->get_index() : -1;
}

void FavouritesPanel::Select(int index) {
  if (Gtk::ListBoxRow* row = list_.get_row_at_index(index)) {
    list_.select_row(*row);
  } else {
    list_.unselect_all();
  }
}

void FavouritesPanel::OpenSelected() {
  const int index = SelectedIndex();
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  const std::string address = store_.ReadAddress(entries_[static_cast<size_t>(index)]);
  if (!address.empty()) open_.emit(address);
}

void FavouritesPanel::OnRowActivated(Gtk::ListBoxRow* row) {
  if (row == nullptr) return;
  list_.select_row(*row);
  OpenSelected();
}

void FavouritesPanel::DeleteSelected() {
  const int index = SelectedIndex();
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  const core::Status removed = store_.Remove(entries_[static_cast<size_t>(index)]);
  if (!removed.ok()) {
    // The file is still there, so its row stays too.
    core::LogWarning("favourites", "cannot delete: " + removed.error().detail);
    ui_host_.Error(ParentWindow(), "删除失败：" + removed.error().detail);
    return;
  }
  if (Gtk::ListBoxRow* row = list_.get_row_at_index(index)) list_.remove(*row);
  entries_.erase(entries_.begin() + index);
  UpdateMenuState();
  changed_.emit();
}

void FavouritesPanel::OnRightClick(int, double x, double y) {
  // The row under the pointer becomes the one the menu acts on, as in a file
  // manager; a click below the rows keeps the selection as it is.
  if (Gtk::ListBoxRow* row = list_.get_row_at_y(static_cast<int>(y))) list_.select_row(*row);
  ShowMenu(x, y);
}

void FavouritesPanel::ShowMenu(double x, double y) {
  UpdateMenuState();
  menu_.set_pointing_to(Gdk::Rectangle(static_cast<int>(x), static_cast<int>(y), 1, 1));
  menu_.popup();
}

void FavouritesPanel::UpdateMenuState() { delete_action_->set_enabled(SelectedIndex() >= 0); }

void FavouritesPanel::OpenFolder() {
  const core::Status folder = store_.EnsureFolder();
  if (!folder.ok()) {
    core::LogWarning("favourites", "cannot create the folder: " + folder.error().detail);
    ui_host_.Error(ParentWindow(), "无法打开收藏夹：" + folder.error().detail);
    return;
  }
  gchar* uri = g_filename_to_uri(store_.folder().c_str(), nullptr, nullptr);
  if (uri == nullptr) {
    core::LogWarning("favourites", "the folder has no URI: " + store_.folder().string());
    return;
  }
  const std::string folder_uri(uri);
  g_free(uri);
  Glib::RefPtr<Gio::AppLaunchContext> launch_context;
  if (auto display = get_display()) launch_context = display->get_app_launch_context();
  if (folder_launch_) folder_launch_->cancel();
  folder_launch_ = Gio::Cancellable::create();
  // The file manager starts on its own; its answer comes back later, and
  // only while the panel still exists (the slot is tracked by the panel).
  Gio::AppInfo::launch_default_for_uri_async(folder_uri, launch_context,
                                             sigc::mem_fun(*this, &FavouritesPanel::OnFolderOpened),
                                             folder_launch_);
}

void FavouritesPanel::OnFolderOpened(const Glib::RefPtr<Gio::AsyncResult>& result) {
  try {
    Gio::AppInfo::launch_default_for_uri_finish(result);
  } catch (const Glib::Error& e) {
    if (e.matches(G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;
    core::LogWarning("favourites", "cannot open the folder: " + std::string(e.what()));
    ui_host_.Error(ParentWindow(), "无法打开收藏夹：" + std::string(e.what()));
  }
}

Gtk::Window* FavouritesPanel::ParentWindow() { return dynamic_cast<Gtk::Window*>(get_root()); }

}  // namespace nuve::ui
