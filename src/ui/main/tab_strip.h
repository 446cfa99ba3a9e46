#pragma once
// The tab strip: the browsing tabs in order, then the new-tab tab
// "新选项卡(Ctrl+T)", which never holds a page and opens a new tab when
// chosen. The first tab is never closed. The strip passes on the events of
// the current tab only, and sends the whole state again when the current
// tab changes, so the window never asks which tab is current.

#include <gtkmm.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/main/browser_tab.h"

namespace nuve::ui {

class AppContext;

class TabStrip : public Gtk::Notebook {
 public:
  explicit TabStrip(AppContext& context);
  ~TabStrip() override;

  // Browsing tabs, not counting the new-tab tab.
  int BrowsingTabCount() const { return static_cast<int>(tabs_.size()); }
  BrowserTab& FirstTab() { return *tabs_.front(); }
  BrowserTab& TabAt(int index) { return *tabs_.at(static_cast<size_t>(index)); }
  // The current browsing tab (the first one while the new-tab tab is being replaced).
  BrowserTab& CurrentTab();
  int CurrentIndex() const { return get_current_page(); }

  // Makes tab `index` current; the new-tab tab's index opens a new tab with
  // the start page in its place.
  void SelectTab(int index);
  // Closes the current tab unless it is the first one or the new-tab tab;
  // its left neighbour becomes current.
  void CloseCurrentTab();
  // Opens `address` in a new tab before the new-tab tab and makes it current.
  BrowserTab& OpenTab(const std::string& address);
  // A new tab with the start page (portal A), as the new-tab tab gives.
  BrowserTab& OpenNewTab();

  // The current tab changed (also after a close). The receiver reads the
  // whole state of the tab it gets.
  sigc::signal<void(BrowserTab&)>& signal_current_changed() { return current_changed_; }
  // The current tab's title changed.
  sigc::signal<void(BrowserTab&)>& signal_title_changed() { return title_changed_; }
  // The current tab's address changed.
  sigc::signal<void(BrowserTab&)>& signal_uri_changed() { return uri_changed_; }
  // Any tab's link under the pointer.
  sigc::signal<void(const std::string&)>& signal_status_text() { return status_text_; }

 private:
  BrowserTab& AddTab(std::unique_ptr<BrowserTab> tab);
  void WireTab(BrowserTab& tab);
  void CloseTab(BrowserTab& tab);
  int IndexOf(const BrowserTab& tab) const;
  bool IsCurrent(const BrowserTab& tab) const;
  WebKitWebView* OnCreateRequested(BrowserTab& parent);
  void OnSwitchPage(Gtk::Widget* page, guint index);
  void OnPressed(int n_press, double x, double y);

  AppContext& context_;
  std::vector<std::unique_ptr<BrowserTab>> tabs_;
  Gtk::Box new_tab_page_;
  Gtk::Label new_tab_label_{"新选项卡(Ctrl+T)"};
  Glib::RefPtr<Gtk::GestureClick> double_click_;
  sigc::connection switch_page_connection_;
  bool replacing_new_tab_page_ = false;
  sigc::signal<void(BrowserTab&)> current_changed_;
  sigc::signal<void(BrowserTab&)> title_changed_;
  sigc::signal<void(BrowserTab&)> uri_changed_;
  sigc::signal<void(const std::string&)> status_text_;
};

}  // namespace nuve::ui
