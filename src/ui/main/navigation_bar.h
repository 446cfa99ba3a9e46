#pragma once
// The bar across the top of the main window: home, back, forward, refresh
// and stop, the address box and the go button. It knows no web views; it
// says what the user asked for and the window acts on the current tab.

#include <gtkmm.h>

#include <string>

namespace nuve::ui {

class NavigationBar : public Gtk::Box {
 public:
  NavigationBar();

  std::string Address() const { return address_entry_.get_text(); }
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

  // Go: the go button, or Enter released in the address box.
  sigc::signal<void()>& signal_go() { return go_; }
  // The user changed the address box's text (not the program).
  sigc::signal<void(const std::string&)>& signal_address_edited() { return address_edited_; }
  sigc::signal<void()>& signal_home() { return home_; }
  sigc::signal<void()>& signal_back() { return back_; }
  sigc::signal<void()>& signal_forward() { return forward_; }
  sigc::signal<void()>& signal_refresh() { return refresh_; }
  sigc::signal<void()>& signal_stop() { return stop_; }

 private:
  Gtk::Button& AddButton(Gtk::Button& button, const char* name, const char* icon, const char* tooltip,
                         sigc::signal<void()>& signal);
  void OnAddressKeyReleased(guint keyval, guint keycode, Gdk::ModifierType state);
  void OnAddressFocusLeft();
  void OnAddressClickReleased(int n_press, double x, double y);
  void SelectIfReselecting();

  Gtk::Button home_button_;
  Gtk::Button back_button_;
  Gtk::Button forward_button_;
  Gtk::Button refresh_button_;
  Gtk::Button stop_button_;
  Gtk::Entry address_entry_;
  Gtk::Button go_button_;
  Gtk::MenuButton downloads_button_;
  // Set when the address box loses the focus: the next plain click selects
  // the whole address, so one click is enough to type a new one.
  bool address_reselect_ = false;
  bool setting_address_ = false;
  sigc::signal<void(const std::string&)> address_edited_;
  sigc::signal<void()> go_, home_, back_, forward_, refresh_, stop_;
};

}  // namespace nuve::ui
