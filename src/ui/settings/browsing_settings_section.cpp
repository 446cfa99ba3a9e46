#include "ui/settings/browsing_settings_section.h"

#include "core/app/log.h"
#include "ui/app/app_context.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

BrowsingSettingsSection::BrowsingSettingsSection(AppContext& context)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 8), context_(context) {
  set_name("browsing-settings");
  heading_.add_css_class("heading");
  heading_.set_xalign(0);
  restore_.set_name("restore-session");
  restore_.set_active(context_.settings().RestoreLastSession());
  restore_.signal_toggled().connect(sigc::mem_fun(*this, &BrowsingSettingsSection::OnRestoreToggled));
  spelling_.set_name("check-spelling");
  spelling_.set_active(context_.settings().CheckSpelling());
  spelling_.signal_toggled().connect(sigc::mem_fun(*this, &BrowsingSettingsSection::OnSpellingToggled));
  clear_.set_name("clear-browsing-data");
  clear_.set_halign(Gtk::Align::START);
  clear_.signal_clicked().connect(sigc::mem_fun(*this, &BrowsingSettingsSection::OnClearClicked));
  clear_hint_.set_xalign(0);
  clear_hint_.set_wrap(true);
  clear_hint_.add_css_class("dim-label");
  append(heading_);
  append(restore_);
  append(spelling_);
  append(clear_);
  append(clear_hint_);
}

Gtk::Window* BrowsingSettingsSection::ParentWindow() { return dynamic_cast<Gtk::Window*>(get_root()); }

void BrowsingSettingsSection::OnRestoreToggled() {
  if (const core::Status s = context_.settings().SetRestoreLastSession(restore_.get_active()); !s.ok()) {
    core::LogWarning("settings", s.error().detail);
    context_.ui_host().Error(ParentWindow(), "无法保存设置：" + s.error().detail);
  }
}

void BrowsingSettingsSection::OnSpellingToggled() {
  context_.ApplySpellChecking(spelling_.get_active());
  if (const core::Status s = context_.settings().SetCheckSpelling(spelling_.get_active()); !s.ok()) {
    core::LogWarning("settings", s.error().detail);
    context_.ui_host().Error(ParentWindow(), "无法保存设置：" + s.error().detail);
  }
}

void BrowsingSettingsSection::OnClearClicked() {
  AskToClearBrowsingData(context_, ParentWindow(), scope_, [this](bool busy) { clear_.set_sensitive(!busy); });
}

void AskToClearBrowsingData(AppContext& context, Gtk::Window* parent, const core::TaskScope& scope,
                            std::function<void(bool busy)> on_busy) {
  context.ui_host().Confirm(
      parent, "将清除所有 Cookie、缓存、网站数据和浏览历史记录，已登录的网站需要重新登录。是否继续？",
      scope.Bind([&context, parent, &scope, on_busy](bool accepted) {
        if (!accepted) return;
        if (on_busy) on_busy(true);
        context.ClearBrowsingData(scope.Bind([&context, parent, on_busy](bool ok) {
          if (on_busy) on_busy(false);
          if (ok) {
            context.ui_host().Info(parent, "浏览数据已清除。");
          } else {
            context.ui_host().Error(parent, "部分浏览数据未能清除。");
          }
        }));
      }));
}

}  // namespace nuve::ui
