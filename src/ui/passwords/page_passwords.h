#pragma once
// The saved site passwords of one tab's page. NUVE's web process extension
// reports the page's sign-in forms and the sign-ins the user sends; this
// class checks every message (core/passwords/form_messages.h), takes the
// site from the origin of the page the view has committed, never from a
// message, and decides: fill a form (one saved account), list the saved
// usernames under its username field (several), or ask whether to save a
// sign-in (the tab's SavePasswordBar). Nothing is saved before the user
// says "保存", and nothing at all is saved or filled in a private view, on
// a site on the never-save list, or without a secret store.

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/passwords/form_messages.h"
#include "core/passwords/site_password_store.h"
#include "core/util/task_scope.h"

namespace nuve::core {
class SitePasswords;
}

namespace nuve::ui {

class EngineProfile;
class UsernameChooser;
class WebPage;

class PagePasswords {
 public:
  // `over_view` lies exactly over the page's view (the tab's overlay); the
  // list of usernames points into it.
  PagePasswords(WebPage& page, EngineProfile& profile, Gtk::Widget& over_view);
  ~PagePasswords();
  PagePasswords(const PagePasswords&) = delete;
  PagePasswords& operator=(const PagePasswords&) = delete;

  // The sign-in waiting for the user's answer; the tab shows its bar.
  const std::optional<core::SiteAccount>& offer() const { return offer_; }
  // "保存": saves the sign-in (a failure says so in a message box).
  void SaveOffer();
  // "从不保存此网站": puts its site on the never-save list.
  void NeverSaveOffer();
  // The close button: forgets the sign-in.
  void DismissOffer();
  sigc::signal<void()>& signal_offer_changed() { return offer_changed_; }

  // Messages of the extension taken in so far, good or not (tests wait on it).
  std::size_t messages_taken() const { return messages_taken_; }
  // The list of saved usernames; null until it is first shown.
  UsernameChooser* chooser() { return chooser_.get(); }

 private:
  bool OnMessage(WebKitUserMessage* message);
  void OnPageChanged();
  void OnFormFound(const core::SignInFormFound& found);
  void OnFieldFocused(const core::SignInFieldFocused& focused);
  void OnSubmitted(const core::SignInSubmitted& submitted);
  void OnAccountsFound(core::SiteAccounts found);
  void Fill(std::uint32_t form, const core::SiteAccount& account);
  void ShowChooser(const core::SignInFieldFocused& focused);
  void HideChooser();
  void SetOffer(std::optional<core::SiteAccount> offer);
  // Saving and filling are on for this page: a secret store, a profile and
  // a view that keep data.
  core::SitePasswords* Passwords() const;
  Gtk::Window* ParentWindow();

  WebPage& page_;
  EngineProfile& profile_;
  Gtk::Widget& over_view_;
  // The origin of the page on screen ("" for none or one of our error pages).
  std::string origin_;
  enum class Lookup { kNotYet, kRunning, kDone };
  Lookup lookup_ = Lookup::kNotYet;
  std::vector<core::SiteAccount> accounts_;   // saved for origin_, with passwords
  std::vector<std::uint32_t> forms_;          // sign-in forms of the page on screen
  std::optional<core::SignInFieldFocused> focus_;  // entered while the lookup ran
  std::uint32_t chooser_form_ = 0;
  std::optional<core::SiteAccount> offer_;
  std::unique_ptr<UsernameChooser> chooser_;
  std::size_t messages_taken_ = 0;
  sigc::signal<void()> offer_changed_;
  std::vector<sigc::connection> connections_;
  // Renewed for each page: what was looked up for the previous page is dropped.
  core::TaskScope page_scope_;
  // The tab's: a sign-in's check and a save's answer outlive the page they came from.
  core::TaskScope scope_;
};

}  // namespace nuve::ui
