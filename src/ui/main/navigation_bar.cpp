#include "ui/main/navigation_bar.h"

#include "ui/app/accessible.h"
#include "ui/app/focus.h"

namespace nuve::ui {

NavigationBar::NavigationBar() : Gtk::Box(Gtk::Orientation::HORIZONTAL, 4) {
  set_margin(4);
  AddButton(home_button_, "图形按钮7", "go-home-symbolic", "主页", home_);
  AddButton(back_button_, "图形按钮4", "go-previous-symbolic", "后退", back_);
  AddButton(forward_button_, "图形按钮5", "go-next-symbolic", "前进", forward_);
  AddButton(refresh_button_, "图形按钮3", "view-refresh-symbolic", "刷新", refresh_);
  AddButton(stop_button_, "图形按钮2", "process-stop-symbolic", "停止", stop_);

  address_entry_.set_name("编辑框1");
  address_entry_.set_hexpand(true);
  address_entry_.set_input_purpose(Gtk::InputPurpose::URL);
  address_entry_.set_placeholder_text("输入网址或搜索内容");
  SetAccessibleLabel(address_entry_, "地址栏");
  append(address_entry_);
  AddButton(go_button_, "图形按钮1", "go-jump-symbolic", "转到", go_);
  downloads_button_.set_name("downloads-button");
  downloads_button_.set_icon_name("folder-download-symbolic");
  downloads_button_.set_tooltip_text("下载");
  downloads_button_.set_has_frame(false);
  SetAccessibleLabel(downloads_button_, "下载");
  append(downloads_button_);
  stop_button_.set_sensitive(false);

  address_entry_.signal_changed().connect([this] {
    if (!setting_address_) address_edited_.emit(address_entry_.get_text());
  });

  // Enter is taken from the key release, which the entry always passes on.
  auto keys = Gtk::EventControllerKey::create();
  keys->signal_key_released().connect(sigc::mem_fun(*this, &NavigationBar::OnAddressKeyReleased));
  address_entry_.add_controller(keys);

  auto focus = Gtk::EventControllerFocus::create();
  focus->signal_leave().connect(sigc::mem_fun(*this, &NavigationBar::OnAddressFocusLeft));
  address_entry_.add_controller(focus);

  // Left and right button alike; the release comes after the entry placed the caret.
  auto clicks = Gtk::GestureClick::create();
  clicks->set_button(0);
  // Capture phase: the entry's inner text widget claims clicks it sees first.
  clicks->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  clicks->signal_released().connect(sigc::mem_fun(*this, &NavigationBar::OnAddressClickReleased));
  // The right button opens the entry's menu on press, which takes the
  // pointer before the release: that click selects on press.
  clicks->signal_pressed().connect([this, gesture = clicks.get()](int, double, double) {
    if (gesture->get_current_button() == GDK_BUTTON_SECONDARY) SelectIfReselecting();
  });
  address_entry_.add_controller(clicks);
}

Gtk::Button& NavigationBar::AddButton(Gtk::Button& button, const char* name, const char* icon,
                                      const char* tooltip, sigc::signal<void()>& signal) {
  button.set_name(name);
  SetIconButton(button, icon, tooltip);
  button.set_has_frame(false);
  button.set_focus_on_click(false);
  button.signal_clicked().connect([&signal] { signal.emit(); });
  append(button);
  return button;
}

void NavigationBar::SetAddress(const std::string& address) {
  setting_address_ = true;
  address_entry_.set_text(address);
  setting_address_ = false;
}

void NavigationBar::SetLoading(bool loading, double progress) {
  stop_button_.set_sensitive(loading);
  address_entry_.set_progress_fraction(loading && progress < 1.0 ? progress : 0.0);
}

void NavigationBar::SetHistoryState(bool can_go_back, bool can_go_forward) {
  back_button_.set_sensitive(can_go_back);
  forward_button_.set_sensitive(can_go_forward);
}

void NavigationBar::FocusAddress() {
  address_entry_.grab_focus();
  address_entry_.select_region(0, -1);
}

bool NavigationBar::AddressHasFocus() { return HasFocusWithin(address_entry_); }

void NavigationBar::OnAddressKeyReleased(guint keyval, guint, Gdk::ModifierType) {
  if (keyval == GDK_KEY_Return || keyval == GDK_KEY_KP_Enter || keyval == GDK_KEY_ISO_Enter) go_.emit();
}

void NavigationBar::OnAddressFocusLeft() { address_reselect_ = true; }

void NavigationBar::OnAddressClickReleased(int, double, double) { SelectIfReselecting(); }

void NavigationBar::SelectIfReselecting() {
  if (!address_reselect_) return;
  int start = 0;
  int end = 0;
  // A selection the user dragged stays; the flag waits for the next click.
  if (address_entry_.get_selection_bounds(start, end) && start != end) return;
  address_entry_.select_region(0, -1);
  address_reselect_ = false;
}

}  // namespace nuve::ui
