#include "ui/favourites/favourites_panel.h"

#include <glib.h>

#include "core/app/log.h"
#include "ui/app/accessible.h"
#include "ui/app/guard.h"
#include "ui/app/ui_host.h"
#include "ui/favourites/folder_name_window.h"

namespace nuve::ui {
namespace {

// Rows made at once; the rest of a long list follows from idle callbacks.
constexpr std::size_t kRowsAtOnce = 200;
constexpr int kIndentPixels = 16;

void ShowArrow(Gtk::ListBoxRow& row, bool expanded) {
  if (auto* arrow = dynamic_cast<Gtk::Image*>(row.get_child()->get_first_child())) {
    arrow->set_from_icon_name(expanded ? "pan-down-symbolic" : "pan-end-symbolic");
  }
  gtk_accessible_update_state(GTK_ACCESSIBLE(row.gobj()), GTK_ACCESSIBLE_STATE_EXPANDED, expanded ? TRUE : FALSE, -1);
}

}  // namespace

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
  SetAccessibleLabel(list_, "收藏夹");
  // A double-click (or Enter) opens a favourite; one click only selects it.
  list_.set_activate_on_single_click(false);
  list_.signal_row_activated().connect(sigc::mem_fun(*this, &FavouritesPanel::OnRowActivated));
  list_.signal_selected_rows_changed().connect(sigc::mem_fun(*this, &FavouritesPanel::UpdateMenuState));
  keys_ = Gtk::EventControllerKey::create();
  keys_->signal_key_pressed().connect(sigc::mem_fun(*this, &FavouritesPanel::OnKeyPressed), false);
  list_.add_controller(keys_);
  scroller_.set_child(list_);
  scroller_.set_vexpand(true);
  append(header_);
  append(scroller_);

  // The pop-up menu. "删除" and "新建文件夹" belong to the panel; the other
  // two items are the window's own commands, found up the widget tree.
  auto actions = Gio::SimpleActionGroup::create();
  delete_action_ = actions->add_action("delete", sigc::mem_fun(*this, &FavouritesPanel::DeleteSelected));
  actions->add_action("new-folder", sigc::mem_fun(*this, &FavouritesPanel::NewFolder));
  insert_action_group("favourites", actions);
  auto model = Gio::Menu::create();
  model->append("添加书签", "win.add-favourite");
  model->append("新建文件夹", "favourites.new-folder");
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

  // Changes made elsewhere show once the list has been filled the first time.
  watcher_ = std::make_unique<FavouritesWatcher>(store_);
  watcher_->signal_changed().connect(sigc::mem_fun(*this, &FavouritesPanel::Reload));

  set_visible(false);
}

FavouritesPanel::~FavouritesPanel() {
  *alive_ = false;
  fill_idle_.disconnect();
  if (folder_launch_) folder_launch_->cancel();
  menu_.unparent();
}

void FavouritesPanel::LoadFromStore() {
  fill_idle_.disconnect();
  // Rows only: the pop-up menu is a child of the list too.
  while (Gtk::ListBoxRow* row = list_.get_row_at_index(0)) list_.remove(*row);
  rows_.clear();
  pending_ = store_.ListFolder(store_.folder());
  loaded_ = true;
  FillLater();
  UpdateMenuState();
  changed_.emit();
}

// Shows the next part of the top level; the rest waits for an idle moment.
void FavouritesPanel::FillLater() {
  const std::size_t count = std::min(kRowsAtOnce, pending_.size());
  std::vector<core::FavouriteEntry> part(std::make_move_iterator(pending_.begin()),
                                         std::make_move_iterator(pending_.begin() + static_cast<long>(count)));
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(count));
  InsertRows(rows_.size(), part, 0);
  if (pending_.empty()) return;
  // Bound to the panel: an idle moment after it is gone does nothing.
  fill_idle_ = Glib::signal_idle().connect(sigc::track_obj(
      [this] {
        Guard("favourites panel", [this] { FillLater(); });
        return false;
      },
      *this));
}

void FavouritesPanel::Reload() {
  if (!loaded_) return;  // the start-up listing comes first
  std::set<std::filesystem::path> open;
  for (const Row& row : rows_) {
    if (row.expanded) open.insert(row.entry.file);
  }
  const int selected = SelectedIndex();
  const std::filesystem::path reselect = selected >= 0 ? rows_[static_cast<std::size_t>(selected)].entry.file : "";
  LoadFromStore();
  // Folders come first in every folder, so the open ones are in the first part.
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].entry.is_folder && open.count(rows_[i].entry.file) > 0) ShowExpanded(i);
  }
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (!reselect.empty() && rows_[i].entry.file == reselect) Select(static_cast<int>(i));
  }
}

Gtk::Widget& FavouritesPanel::MakeRowWidget(const Row& row) {
  auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 4);
  auto* arrow = Gtk::make_managed<Gtk::Image>();
  arrow->set_pixel_size(16);
  if (row.entry.is_folder) {
    arrow->set_from_icon_name(row.expanded ? "pan-down-symbolic" : "pan-end-symbolic");
    arrow->set_tooltip_text("展开或折叠");
    // A click on the arrow opens or closes the folder, whatever is selected.
    auto click = Gtk::GestureClick::create();
    click->signal_pressed().connect([this, arrow](int, double, double) {
      Guard("favourites panel", [&] {
        auto* list_row = dynamic_cast<Gtk::ListBoxRow*>(arrow->get_ancestor(GTK_TYPE_LIST_BOX_ROW));
        if (list_row == nullptr) return;
        const int index = list_row->get_index();
        SetExpanded(index, !IsExpanded(index));
      });
    });
    arrow->add_controller(click);
  }
  auto* icon = Gtk::make_managed<Gtk::Image>();
  icon->set_from_icon_name(row.entry.is_folder ? "folder-symbolic" : "web-browser-symbolic");
  auto* label = Gtk::make_managed<Gtk::Label>(row.entry.title);
  label->set_xalign(0);
  label->set_ellipsize(Pango::EllipsizeMode::END);
  box->set_margin_start(2 + row.depth * kIndentPixels);
  box->set_margin_end(6);
  box->set_tooltip_text(row.entry.is_folder ? "文件夹：" + row.entry.title : row.entry.title);
  box->append(*arrow);
  box->append(*icon);
  box->append(*label);
  return *box;
}

void FavouritesPanel::InsertRows(std::size_t position, const std::vector<core::FavouriteEntry>& entries, int depth) {
  for (const core::FavouriteEntry& entry : entries) {
    Row row{entry, depth, false};
    list_.insert(MakeRowWidget(row), static_cast<int>(position));
    if (Gtk::ListBoxRow* list_row = list_.get_row_at_index(static_cast<int>(position))) {
      SetAccessibleLabel(*list_row, entry.is_folder ? "文件夹 " + entry.title : entry.title);
      if (entry.is_folder) ShowArrow(*list_row, false);
    }
    rows_.insert(rows_.begin() + static_cast<long>(position), std::move(row));
    ++position;
  }
}

std::size_t FavouritesPanel::EndOfChildren(std::size_t index) const {
  std::size_t end = index + 1;
  while (end < rows_.size() && rows_[end].depth > rows_[index].depth) ++end;
  return end;
}

void FavouritesPanel::ShowExpanded(std::size_t index) {
  Row& folder = rows_[index];
  if (!folder.entry.is_folder || folder.expanded) return;
  folder.expanded = true;
  const int depth = folder.depth + 1;
  const std::vector<core::FavouriteEntry> children = store_.ListFolder(folder.entry.file);
  InsertRows(index + 1, children, depth);
  if (Gtk::ListBoxRow* row = list_.get_row_at_index(static_cast<int>(index))) ShowArrow(*row, true);
}

void FavouritesPanel::Collapse(std::size_t index) {
  if (!rows_[index].expanded) return;
  const std::size_t end = EndOfChildren(index);
  for (std::size_t i = end; i > index + 1; --i) {
    if (Gtk::ListBoxRow* row = list_.get_row_at_index(static_cast<int>(index + 1))) list_.remove(*row);
  }
  rows_.erase(rows_.begin() + static_cast<long>(index + 1), rows_.begin() + static_cast<long>(end));
  rows_[index].expanded = false;
  if (Gtk::ListBoxRow* row = list_.get_row_at_index(static_cast<int>(index))) ShowArrow(*row, false);
}

bool FavouritesPanel::IsFolder(int index) const {
  return index >= 0 && index < static_cast<int>(rows_.size()) && rows_[static_cast<std::size_t>(index)].entry.is_folder;
}

bool FavouritesPanel::IsExpanded(int index) const {
  return IsFolder(index) && rows_[static_cast<std::size_t>(index)].expanded;
}

int FavouritesPanel::DepthOf(int index) const {
  return index >= 0 && index < static_cast<int>(rows_.size()) ? rows_[static_cast<std::size_t>(index)].depth : -1;
}

void FavouritesPanel::SetExpanded(int index, bool expanded) {
  if (!IsFolder(index)) return;
  const bool was_selected = SelectedIndex() == index;
  if (expanded) {
    ShowExpanded(static_cast<std::size_t>(index));
  } else {
    Collapse(static_cast<std::size_t>(index));
  }
  if (was_selected) Select(index);
}

std::filesystem::path FavouritesPanel::TargetFolder() const {
  const int index = SelectedIndex();
  if (index < 0 || index >= static_cast<int>(rows_.size())) return store_.folder();
  const core::FavouriteEntry& entry = rows_[static_cast<std::size_t>(index)].entry;
  return entry.is_folder ? entry.file : entry.file.parent_path();
}

void FavouritesPanel::ShowSaved(const core::FavouriteEntry& entry) {
  for (Row& shown : rows_) {
    if (shown.entry.file == entry.file) {
      shown.entry = entry;
      changed_.emit();
      return;
    }
  }
  const std::filesystem::path folder = entry.file.parent_path();
  if (folder == store_.folder()) {
    InsertRows(rows_.size(), {entry}, 0);
  } else {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (rows_[i].entry.is_folder && rows_[i].entry.file == folder && rows_[i].expanded) {
        InsertRows(EndOfChildren(i), {entry}, rows_[i].depth + 1);
        break;
      }
    }
  }
  changed_.emit();
}

std::vector<std::string> FavouritesPanel::Titles() const {
  std::vector<std::string> titles;
  titles.reserve(rows_.size());
  for (const Row& row : rows_) titles.push_back(row.entry.title);
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
  if (index < 0 || index >= static_cast<int>(rows_.size())) return;
  const Row& row = rows_[static_cast<std::size_t>(index)];
  if (row.entry.is_folder) {
    SetExpanded(index, !row.expanded);
    return;
  }
  const std::string address = store_.ReadAddress(row.entry);
  if (!address.empty()) open_.emit(address);
}

void FavouritesPanel::OnRowActivated(Gtk::ListBoxRow* row) {
  if (row == nullptr) return;
  list_.select_row(*row);
  OpenSelected();
}

bool FavouritesPanel::OnKeyPressed(guint keyval, guint, Gdk::ModifierType state) {
  if ((state & (Gdk::ModifierType::CONTROL_MASK | Gdk::ModifierType::ALT_MASK)) != Gdk::ModifierType{}) return false;
  const int index = SelectedIndex();
  if (index < 0) return false;
  switch (keyval) {
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
    case GDK_KEY_plus:
    case GDK_KEY_KP_Add:
      SetExpanded(index, true);
      return IsFolder(index);
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
    case GDK_KEY_minus:
    case GDK_KEY_KP_Subtract:
      if (IsExpanded(index)) {
        SetExpanded(index, false);
        return true;
      }
      // Left on a closed row goes to its folder, as in a file manager's tree.
      for (int i = index - 1; i >= 0; --i) {
        if (DepthOf(i) < DepthOf(index)) {
          Select(i);
          if (Gtk::ListBoxRow* row = list_.get_row_at_index(i)) row->grab_focus();
          return true;
        }
      }
      return false;
    default:
      return false;
  }
}

void FavouritesPanel::DeleteSelected() {
  const int index = SelectedIndex();
  if (index < 0 || index >= static_cast<int>(rows_.size())) return;
  if (rows_[static_cast<std::size_t>(index)].entry.is_folder) {
    DeleteFolder(static_cast<std::size_t>(index));
    return;
  }
  const core::Status removed = store_.Remove(rows_[static_cast<std::size_t>(index)].entry);
  if (!removed.ok()) {
    // The file is still there, so its row stays too.
    core::LogWarning("favourites", "cannot delete: " + removed.error().detail);
    ui_host_.Error(ParentWindow(), "删除失败：" + removed.error().detail);
    return;
  }
  if (Gtk::ListBoxRow* row = list_.get_row_at_index(index)) list_.remove(*row);
  rows_.erase(rows_.begin() + index);
  UpdateMenuState();
  changed_.emit();
}

// A folder goes with everything in it, so the user is asked first.
void FavouritesPanel::DeleteFolder(std::size_t index) {
  const core::FavouriteEntry folder = rows_[index].entry;
  const std::string question = "确定要删除文件夹“" + folder.title + "”吗？\n其中的收藏和子文件夹也会一起删除。";
  ui_host_.Confirm(ParentWindow(), question, [this, alive = alive_, folder](bool yes) {
    if (!yes || !*alive) return;
    const core::Status removed = store_.RemoveFolder(folder);
    if (!removed.ok()) {
      core::LogWarning("favourites", "cannot delete: " + removed.error().detail);
      ui_host_.Error(ParentWindow(), "删除失败：" + removed.error().detail);
    }
    // The row is found again: the list may have changed while the user read.
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (rows_[i].entry.file != folder.file) continue;
      if (!removed.ok() && std::filesystem::exists(folder.file)) break;
      Collapse(i);
      if (Gtk::ListBoxRow* row = list_.get_row_at_index(static_cast<int>(i))) list_.remove(*row);
      rows_.erase(rows_.begin() + static_cast<long>(i));
      break;
    }
    UpdateMenuState();
    changed_.emit();
  });
}

void FavouritesPanel::NewFolder() {
  auto window = std::make_unique<FolderNameWindow>(store_, ui_host_, TargetFolder());
  window->signal_created().connect([this, alive = alive_](const core::FavouriteEntry& folder) {
    if (!*alive) return;
    // The new folder shows at once, opened in its place.
    Reload();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (rows_[i].entry.is_folder && rows_[i].entry.file == folder.file.parent_path()) ShowExpanded(i);
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (rows_[i].entry.file == folder.file) Select(static_cast<int>(i));
    }
  });
  ui_host_.ShowModal(std::move(window), ParentWindow());
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
