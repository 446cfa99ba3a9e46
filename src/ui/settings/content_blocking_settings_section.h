#pragma once
// "广告拦截" in the settings window: blocking on or off, automatic updates
// of the subscribed lists, every list in use with its rule count, skipped
// count and last update, adding and removing a subscription, and the sites
// where blocking is off. A self-contained box that follows ContentFilters.

#include <gtkmm.h>

#include <string>

#include "ui/engine/content_filters.h"

namespace nuve::ui {

class UiHost;

class ContentBlockingSettingsSection : public Gtk::Box {
 public:
  ContentBlockingSettingsSection(ContentFilters& filters, UiHost& ui_host);

  Gtk::CheckButton& enabled_check() { return enabled_; }
  Gtk::CheckButton& updates_check() { return updates_; }
  Gtk::ListBox& lists() { return lists_; }
  Gtk::Entry& address_entry() { return address_; }
  Gtk::Button& add_button() { return add_; }
  Gtk::ListBox& sites() { return sites_; }

  // The line a list's row shows under its name: its state, rule and
  // skipped counts and last update.
  static std::string Summary(const ContentFilters::ListInfo& info);

 private:
  void Refresh();
  void FillLists();
  void FillSites();
  void OnEnabledToggled();
  void OnUpdatesToggled();
  void OnAddClicked();
  Gtk::Window* ParentWindow();

  ContentFilters& filters_;
  UiHost& ui_host_;
  bool refreshing_ = false;
  bool refresh_queued_ = false;
  Gtk::Label heading_{"广告拦截"};
  Gtk::CheckButton enabled_{"拦截广告和跟踪器"};
  Gtk::CheckButton updates_{"自动更新订阅的过滤规则（每 4 天）"};
  Gtk::Label lists_heading_{"过滤规则"};
  Gtk::ListBox lists_;
  Gtk::Box add_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Entry address_;
  Gtk::Button add_{"添加订阅"};
  Gtk::Label sites_heading_{"已停用广告拦截的网站"};
  Gtk::ListBox sites_;
};

}  // namespace nuve::ui
