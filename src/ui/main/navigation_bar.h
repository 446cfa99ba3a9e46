#pragma once
// The bar across the top of the main window: home, back, forward, refresh
// and stop, the address box, the go button, the content-blocking shield and
// the downloads button. It knows no web views; it says what the user asked
// for and the window acts on the current tab.

#include <gtkmm.h>

#include <string>

namespace nuve::ui {

class NavigationBar : public Gtk::Box {
 public:
  NavigationBar();
  ~NavigationBar() override;

  // The address the box stands for: the one last set while the user has not
  // changed the text, else what the user typed (an edited address encoded
  // again, words as they are).
  std::string Address() const;
  // Shows `address` as people read it (words and host names decoded).
  void SetAddress(const std::string& address);
  // Gives the address box the focus with its whole text selected.
  void FocusAddress();
  bool AddressHasFocus();
  Gtk::Entry& address_entry() { return address_entry_; }
  // The button that shows the downloads list; the window gives it the list.
  Gtk::MenuButton& downloads_button() { return downloads_button_; }
  Gtk::Button& stop_button() { return stop_button_; }
  Gtk::Button& back_button() { return back_button_; }
  Gtk::Button& forward_button() { return forward_button_; }

  // The current page loads (stop is offered) or not, and how far it got
  // (shown in the address box; 0 or 1 shows nothing).
  void SetLoading(bool loading, double progress);
  void SetHistoryState(bool can_go_back, bool can_go_forward);

  // What the shield shows for the current page.
  struct BlockingState {
    bool enabled = true;         // blocking is on at all
    std::string site;            // the page's site; "" for pages without one
    bool site_excepted = false;  // the user turned blocking off for `site`
    bool on() const { return enabled && !site_excepted; }
  };
  void SetBlockingState(const BlockingState& state);
  const BlockingState& blocking_state() const { return blocking_; }
  Gtk::MenuButton& shield_button() { return shield_button_; }
  Gtk::CheckButton& site_blocking_off_check() { return site_off_check_; }
  Gtk::Button& blocking_settings_button() { return blocking_settings_button_; }

  // The entry copies or cuts its selection: the whole address puts the
  // address itself on the clipboard, not the decoded text, and gives true;
  // false leaves a part of the text to the entry.
  bool CopyAddress(bool cut);

  // Go: the go button, or Enter released in the address box.
  sigc::signal<void()>& signal_go() { return go_; }
  // The user changed the address box's text (not the program).
  sigc::signal<void(const std::string&)>& signal_address_edited() { return address_edited_; }
  sigc::signal<void()>& signal_home() { return home_; }
  sigc::signal<void()>& signal_back() { return back_; }
  sigc::signal<void()>& signal_forward() { return forward_; }
  sigc::signal<void()>& signal_refresh() { return refresh_; }
  sigc::signal<void()>& signal_stop() { return stop_; }
  // "在此网站上停用广告拦截" toggled by the user: true turns blocking off for
  // the current site.
  sigc::signal<void(bool)>& signal_site_blocking_off() { return site_blocking_off_; }
  // "广告拦截设置…".
  sigc::signal<void()>& signal_blocking_settings() { return blocking_settings_; }

 private:
  Gtk::Button& AddButton(Gtk::Button& button, const char* name, const char* icon, const char* tooltip,
                         sigc::signal<void()>& signal);
  void OnAddressKeyReleased(guint keyval, guint keycode, Gdk::ModifierType state);
  void OnAddressFocusLeft();
  void OnAddressClickReleased(int n_press, double x, double y);
  void SelectIfReselecting();
  void BuildShield();

  Gtk::Button home_button_;
  Gtk::Button back_button_;
  Gtk::Button forward_button_;
  Gtk::Button refresh_button_;
  Gtk::Button stop_button_;
  Gtk::Entry address_entry_;
  Gtk::Button go_button_;
  Gtk::MenuButton shield_button_;
  Gtk::Popover shield_popover_;
  Gtk::Box shield_box_{Gtk::Orientation::VERTICAL, 6};
  Gtk::Label shield_summary_;
  Gtk::CheckButton site_off_check_{"在此网站上停用广告拦截"};
  Gtk::Button blocking_settings_button_{"广告拦截设置…"};
  BlockingState blocking_;
  bool setting_blocking_ = false;
  Gtk::MenuButton downloads_button_;
  // Set when the address box loses the focus: the next plain click selects
  // the whole address, so one click is enough to type a new one.
  bool address_reselect_ = false;
  bool setting_address_ = false;
  // The address last set and the text it is shown as.
  std::string address_;
  std::string shown_address_;
  sigc::signal<void(const std::string&)> address_edited_;
  sigc::signal<void()> go_, home_, back_, forward_, refresh_, stop_;
  sigc::signal<void(bool)> site_blocking_off_;
  sigc::signal<void()> blocking_settings_;
};

}  // namespace nuve::ui
