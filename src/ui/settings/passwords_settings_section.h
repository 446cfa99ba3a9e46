#pragma once
// "密码" in the settings: the saved site passwords (site and username, a
// search box, "显示密码" after a question, copy, delete one, delete all)
// and the sites whose passwords are never saved. Without a secret store it
// says why nothing is saved. Every call to the store runs off the
// user-interface thread; answers that come after the section closed are
// dropped.

#include <gtkmm.h>

#include <string>
#include <vector>

#include "core/passwords/site_password_store.h"
#include "core/util/task_scope.h"

namespace nuve::core {
class SitePasswords;
}

namespace nuve::ui {

class UiHost;

class PasswordsSettingsSection : public Gtk::Box {
 public:
  PasswordsSettingsSection(core::SitePasswords& passwords, UiHost& ui_host);

  // Reads the saved accounts and the never-save list again.
  void Reload();

  Gtk::SearchEntry& search_entry() { return search_; }
  Gtk::ListBox& account_list() { return accounts_; }
  Gtk::ListBox& never_list() { return never_; }
  Gtk::Button& delete_all_button() { return delete_all_; }
  Gtk::Label& status_label() { return status_; }
  // Saved accounts listed (after the store answered).
  std::size_t AccountCount() const { return listed_.size(); }

 private:
  struct Listed {
    core::SiteAccount account;
    Gtk::Label* password = nullptr;
    Gtk::Button* show = nullptr;
  };

  void OnListed(core::SiteAccounts listed);
  void AddAccountRow(const core::SiteAccount& account);
  void ReloadNeverSave();
  void OnShowClicked(std::size_t index);
  void OnCopyClicked(std::size_t index);
  void OnDeleteClicked(std::size_t index);
  void OnDeleteAllClicked();
  void ShowProblem(const std::string& what, core::SecretStoreProblem problem);
  bool Matches(Gtk::ListBoxRow* row) const;
  Gtk::Window* ParentWindow();

  core::SitePasswords& passwords_;
  UiHost& ui_host_;
  Gtk::Label heading_{"密码"};
  Gtk::Label status_;
  Gtk::SearchEntry search_;
  Gtk::ScrolledWindow scroller_;
  Gtk::ListBox accounts_;
  Gtk::Button delete_all_{"全部删除"};
  Gtk::Label never_heading_{"从不保存密码的网站"};
  Gtk::ListBox never_;
  std::vector<Listed> listed_;
  // Renewed with each listing: answers about rows of an older one are dropped.
  core::TaskScope list_scope_;
  core::TaskScope scope_;
};

}  // namespace nuve::ui
