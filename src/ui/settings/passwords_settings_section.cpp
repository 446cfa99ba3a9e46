#include "ui/settings/passwords_settings_section.h"

#include "core/app/log.h"
#include "core/passwords/site_passwords.h"
#include "ui/app/accessible.h"
#include "ui/app/ui_host.h"
#include "ui/passwords/secret_store_texts.h"

namespace nuve::ui {
namespace {

constexpr char kHiddenPassword[] = "••••••••";

std::string Shown(const std::string& username) { return username.empty() ? "（无用户名）" : username; }

Gtk::Button* RowButton(Gtk::Box& row, const char* label, const char* name, const std::string& accessible) {
  auto* button = Gtk::make_managed<Gtk::Button>(label);
  button->set_name(name);
  button->add_css_class("flat");
  SetAccessibleLabel(*button, accessible);
  row.append(*button);
  return button;
}

void Clear(Gtk::ListBox& list) {
  while (Gtk::Widget* row = list.get_first_child()) list.remove(*row);
}

}  // namespace

PasswordsSettingsSection::PasswordsSettingsSection(core::SitePasswords& passwords, UiHost& ui_host)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 8), passwords_(passwords), ui_host_(ui_host) {
  set_name("password-settings");
  heading_.add_css_class("heading");
  heading_.set_xalign(0);
  status_.set_name("password-status");
  status_.set_xalign(0);
  status_.set_wrap(true);
  status_.add_css_class("dim-label");
  status_.set_visible(false);
  search_.set_name("password-search");
  // The search entry is no GtkEntry: its placeholder is a property of its own.
  search_.property_placeholder_text() = "搜索网站或用户名";
  SetAccessibleLabel(search_, "搜索已保存的密码");
  search_.signal_search_changed().connect([this] { accounts_.invalidate_filter(); });
  accounts_.set_name("saved-passwords");
  accounts_.set_selection_mode(Gtk::SelectionMode::NONE);
  accounts_.set_filter_func([this](Gtk::ListBoxRow* row) { return Matches(row); });
  auto* empty = Gtk::make_managed<Gtk::Label>("没有已保存的密码");
  empty->add_css_class("dim-label");
  empty->set_margin(12);
  accounts_.set_placeholder(*empty);
  scroller_.set_child(accounts_);
  scroller_.set_min_content_height(140);
  scroller_.set_max_content_height(280);
  scroller_.set_propagate_natural_height(true);
  scroller_.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
  scroller_.add_css_class("frame");
  delete_all_.set_name("delete-all-passwords");
  delete_all_.set_halign(Gtk::Align::START);
  delete_all_.signal_clicked().connect(sigc::mem_fun(*this, &PasswordsSettingsSection::OnDeleteAllClicked));
  never_heading_.set_xalign(0);
  never_.set_name("never-save-sites");
  never_.set_selection_mode(Gtk::SelectionMode::NONE);
  auto* none = Gtk::make_managed<Gtk::Label>("没有");
  none->add_css_class("dim-label");
  none->set_margin(6);
  never_.set_placeholder(*none);
  never_.add_css_class("frame");
  append(heading_);
  append(status_);
  append(search_);
  append(scroller_);
  append(delete_all_);
  append(never_heading_);
  append(never_);
  Reload();
}

Gtk::Window* PasswordsSettingsSection::ParentWindow() { return dynamic_cast<Gtk::Window*>(get_root()); }

void PasswordsSettingsSection::Reload() {
  list_scope_.Renew();
  ReloadNeverSave();
  // Until the store answers, nothing can be done to the list.
  search_.set_sensitive(false);
  delete_all_.set_sensitive(false);
  passwords_.List(list_scope_, [this](core::SiteAccounts listed) { OnListed(std::move(listed)); });
}

void PasswordsSettingsSection::OnListed(core::SiteAccounts listed) {
  Clear(accounts_);
  listed_.clear();
  const bool usable = listed.problem == core::SecretStoreProblem::kNone;
  if (listed.problem == core::SecretStoreProblem::kUnavailable) {
    status_.set_text(kNoSecretStoreText);
  } else if (!usable) {
    status_.set_text(SecretStoreProblemText("无法列出已保存的密码", listed.problem));
  }
  status_.set_visible(!usable);
  search_.set_sensitive(usable);
  delete_all_.set_sensitive(usable && !listed.accounts.empty());
  for (const auto& account : listed.accounts) AddAccountRow(account);
}

void PasswordsSettingsSection::AddAccountRow(const core::SiteAccount& account) {
  const std::size_t index = listed_.size();
  auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
  row->set_name("saved-password");
  row->set_margin(4);
  auto* names = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
  names->set_hexpand(true);
  auto* site = Gtk::make_managed<Gtk::Label>(account.origin);
  site->set_xalign(0);
  site->set_ellipsize(Pango::EllipsizeMode::END);
  auto* user = Gtk::make_managed<Gtk::Label>(Shown(account.username));
  user->set_xalign(0);
  user->set_ellipsize(Pango::EllipsizeMode::END);
  user->add_css_class("dim-label");
  names->append(*site);
  names->append(*user);
  row->append(*names);
  auto* password = Gtk::make_managed<Gtk::Label>(kHiddenPassword);
  password->set_name("password-text");
  password->set_selectable(true);
  password->set_max_width_chars(24);
  password->set_ellipsize(Pango::EllipsizeMode::END);
  row->append(*password);
  const std::string who = account.origin + " " + Shown(account.username);
  Gtk::Button* show = RowButton(*row, "显示密码", "show-password", "显示 " + who + " 的密码");
  show->signal_clicked().connect([this, index] { OnShowClicked(index); });
  RowButton(*row, "复制", "copy-password", "复制 " + who + " 的密码")->signal_clicked().connect([this, index] {
    OnCopyClicked(index);
  });
  RowButton(*row, "删除", "delete-password", "删除 " + who + " 的密码")->signal_clicked().connect([this, index] {
    OnDeleteClicked(index);
  });
  accounts_.append(*row);
  listed_.push_back({account, password, show});
}

bool PasswordsSettingsSection::Matches(Gtk::ListBoxRow* row) const {
  const std::string wanted = search_.get_text().lowercase();
  if (wanted.empty() || row == nullptr) return true;
  const auto index = static_cast<std::size_t>(row->get_index());
  if (index >= listed_.size()) return true;
  const core::SiteAccount& account = listed_[index].account;
  return Glib::ustring(account.origin).lowercase().find(wanted) != Glib::ustring::npos ||
         Glib::ustring(account.username).lowercase().find(wanted) != Glib::ustring::npos;
}

void PasswordsSettingsSection::OnShowClicked(std::size_t index) {
  if (index >= listed_.size()) return;
  Listed& item = listed_[index];
  if (item.password->get_text() != kHiddenPassword) {
    item.password->set_text(kHiddenPassword);
    item.show->set_label("显示密码");
    return;
  }
  const core::SiteAccount account = item.account;
  ui_host_.Confirm(
      ParentWindow(),
      "是否显示 " + account.origin + " 中 " + Shown(account.username) + " 的密码？能看到屏幕的人都会看到它。",
      list_scope_.Bind([this, index, account](bool accepted) {
        if (!accepted) return;
        passwords_.FindPassword(
            account.origin, account.username, list_scope_,
            [this, index](std::optional<std::string> password, core::SecretStoreProblem problem) {
              if (!password) {
                ShowProblem("无法显示密码", problem);
                return;
              }
              listed_[index].password->set_text(*password);
              listed_[index].show->set_label("隐藏密码");
            });
      }));
}

void PasswordsSettingsSection::OnCopyClicked(std::size_t index) {
  if (index >= listed_.size()) return;
  const core::SiteAccount& account = listed_[index].account;
  passwords_.FindPassword(account.origin, account.username, list_scope_,
                          [this](std::optional<std::string> password, core::SecretStoreProblem problem) {
                            if (!password) {
                              ShowProblem("无法复制密码", problem);
                              return;
                            }
                            get_clipboard()->set_text(*password);
                          });
}

void PasswordsSettingsSection::OnDeleteClicked(std::size_t index) {
  if (index >= listed_.size()) return;
  const core::SiteAccount& account = listed_[index].account;
  passwords_.Remove(account.origin, account.username, scope_, [this](core::SecretStoreProblem problem) {
    if (problem != core::SecretStoreProblem::kNone) ShowProblem("未能删除密码", problem);
    Reload();
  });
}

void PasswordsSettingsSection::OnDeleteAllClicked() {
  ui_host_.Confirm(ParentWindow(), "将删除 NUVE 保存的所有网站密码。是否继续？", scope_.Bind([this](bool accepted) {
                     if (!accepted) return;
                     passwords_.RemoveAll(scope_, [this](core::SecretStoreProblem problem) {
                       if (problem != core::SecretStoreProblem::kNone) ShowProblem("未能删除密码", problem);
                       Reload();
                     });
                   }));
}

void PasswordsSettingsSection::ReloadNeverSave() {
  Clear(never_);
  for (const std::string& origin : passwords_.never_save().Origins()) {
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    row->set_name("never-save-site");
    row->set_margin(4);
    auto* site = Gtk::make_managed<Gtk::Label>(origin);
    site->set_xalign(0);
    site->set_hexpand(true);
    site->set_ellipsize(Pango::EllipsizeMode::END);
    row->append(*site);
    RowButton(*row, "删除", "delete-never-save", "允许再次询问是否保存 " + origin + " 的密码")
        ->signal_clicked()
        .connect([this, origin] {
          if (const core::Status s = passwords_.never_save().Remove(origin); !s.ok()) {
            core::LogWarning("site passwords", s.error().detail);
            ui_host_.Error(ParentWindow(), "无法保存设置：" + s.error().detail);
          }
          ReloadNeverSave();
        });
    never_.append(*row);
  }
}

void PasswordsSettingsSection::ShowProblem(const std::string& what, core::SecretStoreProblem problem) {
  ui_host_.Error(ParentWindow(), SecretStoreProblemText(what, problem));
}

}  // namespace nuve::ui
