#pragma once
// The tab strip: the browsing tabs in order, then the new-tab tab
// "新选项卡(Ctrl+T)", which never holds a page and opens a new tab when
// chosen. The first tab is never closed. Tabs are dragged to a new place
// (the new-tab tab stays last); a right click on a header offers the tab's
// own menu; the tabs closed last come back with their back/forward lists
// and where they stood. The strip owns the notebook that
// shows the tabs and knows each tab by its identity, never by a page number
// remembered from earlier: the notebook's order is the only order. It passes
// on the events of the current tab only, and sends the whole state again
// when the current tab changes, so the window never asks which tab is
// current.

#include <gtkmm.h>

#include <memory>
#include <string>
#include <vector>

#include "core/session/closed_tabs.h"
#include "core/util/task_scope.h"
#include "ui/main/browser_tab.h"
#include "ui/main/ready_start_page.h"

namespace nuve::ui {

class AppContext;

class TabStrip {
 public:
  // Every tab's view is built on `profile` (the window's: normal or private).
  TabStrip(AppContext& context, EngineProfile& profile);
  ~TabStrip();
  TabStrip(const TabStrip&) = delete;
  TabStrip& operator=(const TabStrip&) = delete;

  // The widget to put into the window.
  Gtk::Widget& widget() { return notebook_; }
  Gtk::Notebook& notebook() { return notebook_; }

  // Browsing tabs, not counting the new-tab tab.
  int BrowsingTabCount() const { return static_cast<int>(tabs_.size()); }
  BrowserTab& FirstTab() { return TabAt(0); }
  // The tab at `index` in the strip's order (0 = first). Throws
  // std::out_of_range for an index outside the browsing tabs.
  BrowserTab& TabAt(int index);
  // The browsing tabs in the strip's order.
  std::vector<BrowserTab*> Tabs();
  // The tab with identity `id`; null when it has been closed.
  BrowserTab* FindTab(BrowserTab::Id id);
  // Position of `tab` in the strip; -1 when it is not (or no longer) there.
  int IndexOf(const BrowserTab& tab) const;
  // The current browsing tab (the first one while the new-tab tab is being replaced).
  BrowserTab& CurrentTab();
  int CurrentIndex() const { return notebook_.get_current_page(); }

  // Makes tab `index` current; the new-tab tab's index opens a new tab with
  // the start page in its place.
  void SelectTab(int index);
  // Closes the current tab unless it is the first one or the new-tab tab;
  // its left neighbour becomes current.
  void CloseCurrentTab();
  // Closes `tab` under the same rule (never the first tab).
  void CloseTab(BrowserTab& tab);
  // Opens `address` (as it will be loaded) in a new tab before the new-tab
  // tab; a foreground tab becomes current.
  BrowserTab& OpenTab(const std::string& address, bool foreground = true);
  // Opens `address` in a new tab right after `beside` (a link of its page).
  BrowserTab& OpenTabBeside(const BrowserTab& beside, const std::string& address, bool foreground);
  // A new tab with the start page (portal A), as the new-tab tab gives.
  BrowserTab& OpenNewTab();
  // A new tab that loads nothing yet, last before the new-tab tab.
  BrowserTab& AppendEmptyTab();
  // The start page this window keeps ready for its next new tab.
  ReadyStartPage& ready_start_page() { return ready_start_page_; }

  // Moves `tab` to `index` (clamped to the browsing tabs), as a drag does.
  void MoveTab(BrowserTab& tab, int index);
  // Brings back the tab closed last, at its place, with its back/forward
  // list, and makes it current; null when none is left.
  BrowserTab* ReopenClosedTab();
  const core::ClosedTabs& closed_tabs() const { return closed_; }
  // Forgets the closed tabs (their lists are browsing history too).
  void ForgetClosedTabs() { closed_ = {}; }
  // A copy of `tab` right after it, with the same back/forward list; current.
  BrowserTab& DuplicateTab(BrowserTab& tab);
  // Closes every tab but `tab` (and the first tab, which stays), or the
  // tabs to its right; `tab` becomes current. Each goes to the closed tabs.
  void CloseOtherTabs(BrowserTab& tab);
  void CloseTabsToTheRight(BrowserTab& tab);

  // The header's own menu for `tab`, under the point (x, y) of the strip.
  void ShowHeaderMenu(BrowserTab& tab, double x, double y);
  Gtk::PopoverMenu& header_menu() { return header_menu_; }
  // The menu's actions ("tab.reload", "tab.duplicate", "tab.mute",
  // "tab.reopen-closed", "tab.close-others", "tab.close-right"); they act on
  // the tab the menu was shown for, once the menu has closed.
  Glib::RefPtr<Gio::SimpleActionGroup> header_actions() { return header_actions_; }

  // The current tab changed (also after a close). The receiver reads the
  // whole state of the tab it gets. `opened_by_page` is true when the tab
  // was opened by a page's request for a new window.
  sigc::signal<void(BrowserTab&, bool opened_by_page)>& signal_current_changed() { return current_changed_; }
  // The current tab's title changed.
  sigc::signal<void(BrowserTab&)>& signal_title_changed() { return title_changed_; }
  // The current tab's address changed.
  sigc::signal<void(BrowserTab&)>& signal_uri_changed() { return uri_changed_; }
  // The current tab started or stopped loading, or its progress moved.
  sigc::signal<void(BrowserTab&)>& signal_load_state_changed() { return load_state_changed_; }
  // A tab's page took the screen for one of its elements, or gave it back.
  sigc::signal<void(BrowserTab&)>& signal_fullscreen_changed() { return fullscreen_changed_; }
  // Any tab's link under the pointer.
  sigc::signal<void(const std::string&)>& signal_status_text() { return status_text_; }
  // Any tab committed a page (a visit), or any tab's page got a title.
  sigc::signal<void(BrowserTab&)>& signal_page_visited() { return page_visited_; }
  sigc::signal<void(BrowserTab&)>& signal_page_titled() { return page_titled_; }
  // A tab was opened, closed or moved, or a tab's page changed: whatever
  // remembers the open tabs should look again.
  sigc::signal<void()>& signal_tabs_changed() { return tabs_changed_; }
  // A page's menu asks for a link in a new window of this kind; offered
  // only while someone listens (set_can_open_windows).
  sigc::signal<void(const std::string&)>& signal_open_window() { return open_window_; }
  void set_can_open_windows(bool can) { can_open_windows_ = can; }
  // A page's menu asks for the add-favourite window with an address and a title.
  sigc::signal<void(const std::string&, const std::string&)>& signal_add_favourite() { return add_favourite_; }

 private:
  // Adds `tab` at `position` in the strip (-1: last before the new-tab tab).
  BrowserTab& AddTab(std::unique_ptr<BrowserTab> tab, int position = -1);
  void UpdateCloseButtons();
  void OnPageReordered(Gtk::Widget* page, guint index);
  // The menu key or Shift+F10 with the focus on the headers.
  bool OnKeyPressed(guint keyval, guint keycode, Gdk::ModifierType state);
  void OnSecondaryPressed(int n_press, double x, double y);
  void BuildHeaderActions();
  void RunHeaderAction(void (TabStrip::*action)(BrowserTab&));
  void ReloadTab(BrowserTab& tab) { tab.page().Reload(); }
  void ToggleMuted(BrowserTab& tab) { tab.ToggleMuted(); }
  void ReopenFromMenu(BrowserTab&) { ReopenClosedTab(); }
  void DuplicateFromMenu(BrowserTab& tab) { DuplicateTab(tab); }
  BrowserTab* HeaderAt(double x, double y);
  void WireContextMenu(BrowserTab& tab);
  void WireTab(BrowserTab& tab);
  bool IsCurrent(const BrowserTab& tab) const { return &tab == current_; }
  BrowserTab* TabOfPage(const Gtk::Widget* page);
  WebKitWebView* OnCreateRequested(WebKitWebView* parent);
  void OnSwitchPage(Gtk::Widget* page, guint index);
  void OnPressed(int n_press, double x, double y);
  void OnMiddlePressed(int n_press, double x, double y);

  std::unique_ptr<BrowserTab> MakeTab();

  AppContext& context_;
  EngineProfile& profile_;
  bool can_open_windows_ = false;
  ReadyStartPage ready_start_page_;
  sigc::signal<void(const std::string&)> open_window_;
  Gtk::Notebook notebook_;
  // Owned tabs in the order they were made; the notebook says where each stands.
  std::vector<std::unique_ptr<BrowserTab>> tabs_;
  BrowserTab::Id next_id_ = 1;
  BrowserTab* current_ = nullptr;
  bool opening_for_page_ = false;
  Gtk::Box new_tab_page_;
  Gtk::Label new_tab_label_{"新选项卡(Ctrl+T)"};
  Glib::RefPtr<Gtk::GestureClick> double_click_;
  Glib::RefPtr<Gtk::GestureClick> middle_click_;
  Glib::RefPtr<Gtk::GestureClick> secondary_click_;
  sigc::connection switch_page_connection_;
  core::ClosedTabs closed_;
  // The header menu, shown over the strip; the tab it was shown for.
  Gtk::PopoverMenu header_menu_;
  Glib::RefPtr<Gio::SimpleActionGroup> header_actions_;
  BrowserTab::Id menu_tab_ = 0;
  bool replacing_new_tab_page_ = false;
  sigc::signal<void(BrowserTab&, bool)> current_changed_;
  sigc::signal<void(BrowserTab&)> title_changed_;
  sigc::signal<void(BrowserTab&)> uri_changed_;
  sigc::signal<void(BrowserTab&)> load_state_changed_;
  sigc::signal<void(const std::string&)> status_text_;
  sigc::signal<void(BrowserTab&)> fullscreen_changed_;
  sigc::signal<void()> tabs_changed_;
  sigc::signal<void(BrowserTab&)> page_visited_;
  sigc::signal<void(BrowserTab&)> page_titled_;
  sigc::signal<void(const std::string&, const std::string&)> add_favourite_;
  // Idle callbacks (a close after the signal that asked for it) are bound
  // to the strip's lifetime.
  core::TaskScope lifetime_;
};

}  // namespace nuve::ui
