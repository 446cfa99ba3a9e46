#pragma once
// "菜单 - NUVE浏览器M1": the settings window, with the pages "设置" and "关于".
// The "设置" page is a column of sections, the home page ("设置主页") first;
// a further section is appended with AppendSection. A section too large for
// that column gets a page of its own, between "设置" and "关于", with
// AppendPage. The home page is not saved until "保存" is pressed.

#include <gtkmm.h>

#include <array>
#include <string>

#include "core/app/config.h"
#include "core/settings/app_settings.h"

namespace nuve::ui {

class UiHost;

class SettingsWindow : public Gtk::Window {
 public:
  enum class Page { kSettings, kAbout };

  SettingsWindow(const core::Config& config, const core::AppSettings& settings, UiHost& ui_host,
                 Page page = Page::kSettings);

  // Adds a section at the end of the "设置" page.
  void AppendSection(Gtk::Widget& section);
  // Adds `content` (scrolled when it is long) as the page `title`, before "关于".
  void AppendPage(Gtk::Widget& content, const std::string& title);
  // Shows the page that AppendPage made of `content`.
  void ShowPage(Gtk::Widget& content);
  Page CurrentPage() const;
  Gtk::Notebook& pages() { return pages_; }

 private:
  void AddPresetButton(int index, const char* form_name, const std::string& address);
  void OnSaveClicked();

  const core::AppSettings& settings_;
  UiHost& ui_host_;
  Gtk::Notebook pages_;
  Gtk::Box settings_page_{Gtk::Orientation::VERTICAL, 12};
  Gtk::Frame home_group_{"设置主页"};
  Gtk::Box home_box_{Gtk::Orientation::VERTICAL, 8};
  Gtk::Box home_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Entry home_entry_;
  Gtk::Button save_button_{"保存"};
  Gtk::Box presets_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Label presets_label_{"预设主页："};
  std::array<Gtk::Button, 3> preset_buttons_;
  Gtk::Label about_label_;
};

}  // namespace nuve::ui
