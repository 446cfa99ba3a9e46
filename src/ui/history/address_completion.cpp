#include "ui/history/address_completion.h"

#include "core/app/display_address.h"
#include "ui/app/accessible.h"

namespace nuve::ui {
namespace {

Gtk::Widget* MakeRow(const core::Completion& row) {
  auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
  box->set_margin(4);
  auto* icon = Gtk::make_managed<Gtk::Image>();
  icon->set_from_icon_name(row.favourite ? "starred-symbolic" : "document-open-recent-symbolic");
  auto* texts = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL);
  const std::string shown = core::DisplayAddress(row.url);
  auto* title = Gtk::make_managed<Gtk::Label>(row.title.empty() ? shown : row.title);
  auto* url = Gtk::make_managed<Gtk::Label>(shown);
  for (Gtk::Label* label : {title, url}) {
    label->set_xalign(0);
    label->set_ellipsize(Pango::EllipsizeMode::END);
    texts->append(*label);
  }
  url->add_css_class("dim-label");
  box->append(*icon);
  box->append(*texts);
  return box;
}

}  // namespace

AddressCompletion::AddressCompletion(Gtk::Entry& entry, core::HistoryStore& history,
                                     core::FavouritesSource favourites)
    : entry_(entry), history_(history), favourites_(std::move(favourites)) {
  list_.set_name("address-completion");
  list_.set_selection_mode(Gtk::SelectionMode::SINGLE);
  list_.set_activate_on_single_click(true);
  // The focus stays in the address box: the list is driven from there.
  list_.set_can_focus(false);
  SetAccessibleLabel(list_, "地址补全");
  list_.signal_row_activated().connect([this](Gtk::ListBoxRow* row) { Take(row->get_index(), true); });
  scroller_.set_child(list_);
  scroller_.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
  scroller_.set_propagate_natural_height(true);
  scroller_.set_max_content_height(480);
  popover_.set_child(scroller_);
  popover_.set_parent(entry_);
  popover_.set_position(Gtk::PositionType::BOTTOM);
  popover_.set_has_arrow(false);
  popover_.set_autohide(false);
  popover_.set_can_focus(false);
  popover_.set_halign(Gtk::Align::START);

  // The capture phase: the entry's text widget would take these keys first.
  keys_ = Gtk::EventControllerKey::create();
  keys_->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  keys_->signal_key_pressed().connect(sigc::mem_fun(*this, &AddressCompletion::OnKeyPressed), false);
  entry_.add_controller(keys_);
  focus_ = Gtk::EventControllerFocus::create();
  focus_->signal_leave().connect([this] { Hide(); });
  entry_.add_controller(focus_);
}

AddressCompletion::~AddressCompletion() {
  // The entry outlives this object: its focus leaves when the window goes.
  entry_.remove_controller(keys_);
  entry_.remove_controller(focus_);
  popover_.unparent();
}

void AddressCompletion::Update(const std::string& typed) {
  request_.Renew();
  if (typed.empty() || taking_) {
    Hide();
    return;
  }
  std::function<void(core::HistoryStore::Entries)> done = [this, typed](core::HistoryStore::Entries found) {
    // Only the answer for what the box still holds counts.
    if (entry_.get_text().raw() != typed) return;
    Show(core::MergeCompletions(typed, favourites_ ? favourites_() : std::vector<core::FavouriteLink>{}, found));
  };
  history_.Complete(typed, static_cast<int>(core::kMaxCompletions), UiCallback(request_, std::move(done)),
                    request_.stop_token());
}

void AddressCompletion::Show(std::vector<core::Completion> rows) {
  rows_ = std::move(rows);
  while (Gtk::Widget* child = list_.get_first_child()) list_.remove(*child);
  if (rows_.empty()) {
    Hide();
    return;
  }
  for (const auto& row : rows_) list_.append(*MakeRow(row));
  popover_.set_size_request(std::max(entry_.get_width(), 200), -1);
  popover_.popup();
}

void AddressCompletion::Hide() {
  request_.Renew();  // an answer still on its way is no longer wanted
  if (popover_.get_visible()) popover_.popdown();
  list_.unselect_all();
}

int AddressCompletion::selected() const {
  const Gtk::ListBoxRow* row = list_.get_selected_row();
  return row != nullptr ? row->get_index() : -1;
}

void AddressCompletion::Move(int step) {
  const int count = static_cast<int>(rows_.size());
  if (count == 0) return;
  int next = selected() + step;
  if (next < -1) next = count - 1;
  if (next >= count) next = -1;  // past the last row: back to what was typed
  if (next < 0) {
    list_.unselect_all();
  } else {
    list_.select_row(*list_.get_row_at_index(next));
  }
}

void AddressCompletion::Take(int index, bool load) {
  if (index < 0 || index >= static_cast<int>(rows_.size())) return;
  const std::string url = rows_[static_cast<size_t>(index)].url;
  taking_ = true;
  // Shown as the address box shows addresses; it loads the address again.
  entry_.set_text(core::DisplayAddress(url));
  entry_.set_position(-1);
  taking_ = false;
  Hide();
  if (load) chosen_.emit(url);
}

bool AddressCompletion::OnKeyPressed(guint keyval, guint, Gdk::ModifierType) {
  if (!IsShown()) return false;
  switch (keyval) {
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
      Move(1);
      return true;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
      Move(-1);
      return true;
    case GDK_KEY_Escape:
      Hide();
      return true;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      // The row's address goes into the box; the key's release then loads
      // it as any Enter in the box does.
      Take(selected(), false);
      Hide();
      return false;
    default:
      return false;
  }
}

}  // namespace nuve::ui
