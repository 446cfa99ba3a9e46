#pragma once
// The tab strip: the browsing tabs in order, then the new-tab tab
// "新选项卡(Ctrl+T)", which never holds a page and opens a new tab when
// chosen. The first tab is never closed. The strip owns the notebook that
// shows the tabs and knows each tab by its identity, never by a page number
// remembered from earlier: the notebook's order is the only order. It passes
// on the events of the current tab only, and sends the whole state again
// when the current tab changes, so the window never asks which tab is
// current.

#include <gtkmm.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/main/browser_tab.h"

namespace nuve::ui {

class AppContext;

class TabStrip {
 public:
  explicit TabStrip(AppContext& context);
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
  // A new tab with the start page (portal A), as the new-tab tab gives.
  BrowserTab& OpenNewTab();
  // A new tab that loads nothing yet, last before the new-tab tab.
  BrowserTab& AppendEmptyTab();

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
  // Any tab's link under the pointer.
  sigc::signal<void(const std::string&)>& signal_status_text() { return status_text_; }
  // Any tab committed a page (a visit), or any tab's page got a title.
  sigc::signal<void(BrowserTab&)>& signal_page_visited() { return page_visited_; }
  sigc::signal<void(BrowserTab&)>& signal_page_titled() { return page_titled_; }
  // A tab was opened, closed or moved, or a tab's page changed: whatever
  // remembers the open tabs should look again.
  sigc::signal<void()>& signal_tabs_changed() { return tabs_changed_; }

 private:
  BrowserTab& AddTab(std::unique_ptr<BrowserTab> tab);
  void WireTab(BrowserTab& tab);
  bool IsCurrent(const BrowserTab& tab) const { return &tab == current_; }
  BrowserTab* TabOfPage(const Gtk::Widget* page);
  WebKitWebView* OnCreateRequested(BrowserTab& parent);
  void OnSwitchPage(Gtk::Widget* page, guint index);
  void OnPressed(int n_press, double x, double y);
  void OnMiddlePressed(int n_press, double x, double y);

  AppContext& context_;
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
  sigc::connection switch_page_connection_;
  bool replacing_new_tab_page_ = false;
  sigc::signal<void(BrowserTab&, bool)> current_changed_;
  sigc::signal<void(BrowserTab&)> title_changed_;
  sigc::signal<void(BrowserTab&)> uri_changed_;
  sigc::signal<void(BrowserTab&)> load_state_changed_;
  sigc::signal<void(const std::string&)> status_text_;
  sigc::signal<void()> tabs_changed_;
  sigc::signal<void(BrowserTab&)> page_visited_;
  sigc::signal<void(BrowserTab&)> page_titled_;
};

}  // namespace nuve::ui
