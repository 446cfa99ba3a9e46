#include "ui/main/navigation_bar.h"

#include "core/app/display_address.h"
#include "ui/app/accessible.h"
#include "ui/app/focus.h"
#include "ui/app/guard.h"

namespace nuve::ui {
namespace {

// Copy and cut reach the entry's text widget as these signals, from the keys
// and from its menu alike.
template <bool kCut>
void ClipboardCb(GtkText* text, gpointer self) noexcept {
  const bool handled = Guard("address copy", [&] { return static_cast<NavigationBar*>(self)->CopyAddress(kCut); });
  if (handled) g_signal_stop_emission_by_name(text, kCut ? "cut-clipboard" : "copy-clipboard");
}

}  // namespace

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
  BuildShield();
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

  GtkWidget* text = GTK_WIDGET(gtk_editable_get_delegate(GTK_EDITABLE(address_entry_.gobj())));
  g_signal_connect(text, "copy-clipboard", G_CALLBACK(&ClipboardCb<false>), this);
  g_signal_connect(text, "cut-clipboard", G_CALLBACK(&ClipboardCb<true>), this);
}

NavigationBar::~NavigationBar() {
  // The popover goes before the button that shows it.
  shield_button_.unset_popover();
  g_signal_handlers_disconnect_by_data(gtk_editable_get_delegate(GTK_EDITABLE(address_entry_.gobj())), this);
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

std::string NavigationBar::Address() const {
  const std::string text = address_entry_.get_text();
  return text == shown_address_ ? address_ : core::AddressFromDisplay(text);
}

void NavigationBar::SetAddress(const std::string& address) {
  address_ = address;
  shown_address_ = core::DisplayAddress(address);
  setting_address_ = true;
  address_entry_.set_text(shown_address_);
  setting_address_ = false;
}

bool NavigationBar::CopyAddress(bool cut) {
  int start = 0;
  int end = 0;
  const Glib::ustring text = address_entry_.get_text();
  // A part of the text is copied as it is shown, as in any text box.
  if (!address_entry_.get_selection_bounds(start, end) || start != 0 || end != static_cast<int>(text.size())) {
    return false;
  }
  const std::string address = Address();
  if (address == text.raw()) return false;
  address_entry_.get_clipboard()->set_text(address);
  if (cut) address_entry_.delete_selection();
  return true;
}

void NavigationBar::SetLoading(bool loading, double progress) {
  stop_button_.set_sensitive(loading);
  address_entry_.set_progress_fraction(loading && progress < 1.0 ? progress : 0.0);
}

void NavigationBar::SetHistoryState(bool can_go_back, bool can_go_forward) {
  back_button_.set_sensitive(can_go_back);
  forward_button_.set_sensitive(can_go_forward);
}

// The shield: a filled shield while blocking is on for the page shown, an
// open one where it is off. Its popover turns blocking off for the page's
// site, or leads to the settings.
void NavigationBar::BuildShield() {
  shield_button_.set_name("content-blocking-shield");
  shield_button_.set_has_frame(false);
  shield_button_.set_focus_on_click(false);
  shield_summary_.set_name("content-blocking-summary");
  shield_summary_.set_xalign(0);
  shield_summary_.set_wrap(true);
  shield_summary_.set_max_width_chars(30);
  site_off_check_.set_name("site-blocking-off");
  site_off_check_.signal_toggled().connect([this] {
    if (!setting_blocking_) site_blocking_off_.emit(site_off_check_.get_active());
  });
  blocking_settings_button_.set_name("content-blocking-settings-button");
  blocking_settings_button_.add_css_class("flat");
  blocking_settings_button_.signal_clicked().connect([this] {
    shield_popover_.popdown();
    blocking_settings_.emit();
  });
  shield_box_.set_margin(6);
  shield_box_.append(shield_summary_);
  shield_box_.append(site_off_check_);
  shield_box_.append(blocking_settings_button_);
  shield_popover_.set_child(shield_box_);
  shield_button_.set_popover(shield_popover_);
  append(shield_button_);
  SetBlockingState({});
}

void NavigationBar::SetBlockingState(const BlockingState& state) {
  blocking_ = state;
  std::string summary;
  if (!state.enabled) {
    summary = "广告拦截已关闭";
  } else if (state.site_excepted) {
    summary = "已在 " + state.site + " 上停用广告拦截";
  } else if (state.site.empty()) {
    summary = "广告拦截已开启";
  } else {
    summary = "正在 " + state.site + " 上拦截广告和跟踪器";
  }
  shield_button_.set_icon_name(state.on() ? "security-high-symbolic" : "security-low-symbolic");
  shield_button_.set_tooltip_text(summary);
  SetAccessibleLabel(shield_button_, "广告拦截：" + summary);
  shield_summary_.set_text(summary);
  setting_blocking_ = true;
  site_off_check_.set_active(state.site_excepted);
  setting_blocking_ = false;
  // A page without a site has nothing to turn off; with blocking off
  // everywhere the settings are where it comes back.
  site_off_check_.set_sensitive(state.enabled && !state.site.empty());
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
