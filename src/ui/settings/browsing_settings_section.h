#pragma once
// The browsing part of the settings: "清除浏览数据" (cookies, cache, site
// data and history, after a question), "启动时恢复上次打开的网页" and
// "检查输入框中的拼写". A
// self-contained box that the settings window shows on its "设置" page.

#include <gtkmm.h>

#include <functional>

#include "core/util/task_scope.h"

namespace nuve::ui {

class AppContext;

// Asks whether to clear the browsing data and, once the user agrees,
// clears it and says how that went, over `parent`. Nothing comes back
// after `scope` has gone; `on_busy` hears when the clearing starts (true)
// and ends (false).
void AskToClearBrowsingData(AppContext& context, Gtk::Window* parent, const core::TaskScope& scope,
                            std::function<void(bool busy)> on_busy = {});

class BrowsingSettingsSection : public Gtk::Box {
 public:
  explicit BrowsingSettingsSection(AppContext& context);

  Gtk::CheckButton& restore_check() { return restore_; }
  Gtk::CheckButton& spelling_check() { return spelling_; }
  Gtk::Button& clear_button() { return clear_; }

 private:
  void OnRestoreToggled();
  void OnSpellingToggled();
  void OnClearClicked();
  Gtk::Window* ParentWindow();

  AppContext& context_;
  Gtk::Label heading_{"浏览"};
  Gtk::CheckButton restore_{"启动时恢复上次打开的网页"};
  Gtk::CheckButton spelling_{"检查输入框中的拼写"};
  Gtk::Button clear_{"清除浏览数据"};
  Gtk::Label clear_hint_{"清除 Cookie、缓存、网站数据和浏览历史记录。"};
  // Dropped with the section: an answer that comes later finds nothing to update.
  core::TaskScope scope_;
};

}  // namespace nuve::ui
