#include "ui/history/history_window.h"

#include "core/app/display_address.h"
#include "ui/app/accessible.h"
#include "ui/app/focus.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {
namespace {

constexpr int kMaxRows = 500;

std::string VisitText(const core::HistoryEntry& entry) {
  const auto when = Glib::DateTime::create_now_local(entry.last_visit);
  return when.format("%Y-%m-%d %H:%M") + "  访问 " + std::to_string(entry.visits) + " 次";
}

Gtk::Widget* MakeRow(const core::HistoryEntry& entry) {
  auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
  box->set_margin(6);
  const std::string shown = core::DisplayAddress(entry.url);
  auto* title = Gtk::make_managed<Gtk::Label>(entry.title.empty() ? shown : entry.title);
  auto* url = Gtk::make_managed<Gtk::Label>(shown);
  auto* when = Gtk::make_managed<Gtk::Label>(VisitText(entry));
  for (Gtk::Label* label : {title, url, when}) {
    label->set_xalign(0);
    label->set_ellipsize(Pango::EllipsizeMode::END);
    box->append(*label);
  }
  url->add_css_class("dim-label");
  when->add_css_class("dim-label");
  return box;
}

}  // namespace

HistoryWindow::HistoryWindow(core::HistoryStore& history, UiHost& ui_host,
                             std::function<void(const std::string&)> open)
    : history_(history), ui_host_(ui_host), open_(std::move(open)) {
  set_title("历史记录");
  set_name("history-window");
  set_default_size(640, 520);
  // gtkmm 4.8 sends this to GtkEntry, which a search entry is not: set the property.
  search_.set_property("placeholder-text", Glib::ustring("搜索历史记录"));
  SetAccessibleLabel(search_, "搜索历史记录");
  search_.signal_search_changed().connect(sigc::mem_fun(*this, &HistoryWindow::Refresh));
  list_.set_name("history-list");
  SetAccessibleLabel(list_, "历史记录列表");
  list_.set_selection_mode(Gtk::SelectionMode::SINGLE);
  list_.set_placeholder(empty_);
  list_.signal_row_activated().connect([this](Gtk::ListBoxRow* row) { OpenRow(row->get_index()); });
  scroller_.set_child(list_);
  scroller_.set_vexpand(true);
  open_button_.signal_clicked().connect([this] {
    if (auto* row = list_.get_selected_row()) OpenRow(row->get_index());
  });
  delete_button_.signal_clicked().connect(sigc::mem_fun(*this, &HistoryWindow::DeleteSelected));
  clear_button_.signal_clicked().connect(sigc::mem_fun(*this, &HistoryWindow::ClearAll));
  buttons_.set_halign(Gtk::Align::END);
  buttons_.append(open_button_);
  buttons_.append(delete_button_);
  buttons_.append(clear_button_);
  layout_.set_margin(10);
  layout_.append(search_);
  layout_.append(scroller_);
  layout_.append(buttons_);
  set_child(layout_);

  // Delete removes the chosen page. Escape closes the window, as it closes
  // every window; the search box would keep it for itself.
  search_.signal_stop_search().connect([this] { close(); });
  auto keys = Gtk::EventControllerKey::create();
  keys->signal_key_pressed().connect(sigc::mem_fun(*this, &HistoryWindow::OnKeyPressed), false);
  add_controller(keys);
  Refresh();
}

void HistoryWindow::Refresh() {
  // Only the latest search fills the list.
  search_scope_.Renew();
  std::function<void(core::HistoryStore::Entries)> done = [this](core::HistoryStore::Entries found) {
    Fill(std::move(found));
  };
  history_.Search(search_.get_text(), kMaxRows, UiCallback(search_scope_, std::move(done)));
}

void HistoryWindow::Fill(core::HistoryStore::Entries entries) {
  entries_ = std::move(entries);
  while (Gtk::Widget* child = list_.get_first_child()) list_.remove(*child);
  for (const auto& entry : entries_) list_.append(*MakeRow(entry));
  if (auto* first = list_.get_row_at_index(0)) list_.select_row(*first);
  refreshed_.emit();
}

void HistoryWindow::OpenRow(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  if (open_) open_(entries_[static_cast<size_t>(index)].url);
}

void HistoryWindow::DeleteSelected() {
  const Gtk::ListBoxRow* row = list_.get_selected_row();
  if (row == nullptr || row->get_index() >= static_cast<int>(entries_.size())) return;
  std::function<void()> done = [this] { Refresh(); };
  history_.Delete(entries_[static_cast<size_t>(row->get_index())].url, UiCallback(scope_, std::move(done)));
}

void HistoryWindow::ClearAll() {
  ui_host_.Confirm(this, "确定要清除全部历史记录吗？", [this](bool accepted) {
    if (!accepted) return;
    std::function<void()> done = [this] { Refresh(); };
    history_.Clear(UiCallback(scope_, std::move(done)));
  });
}

bool HistoryWindow::OnKeyPressed(guint keyval, guint, Gdk::ModifierType) {
  if (keyval == GDK_KEY_Delete && HasFocusWithin(list_)) {
    DeleteSelected();
    return true;
  }
  return false;
}

}  // namespace nuve::ui
