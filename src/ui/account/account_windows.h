#pragma once
// Opens the account windows, modally, with what each needs from the
// application context, and links them: the login window's links open the
// register and recover windows, the personal centre's buttons open the
// change-password and feedback windows over it. It also hands the
// password of a login and of a password change to the favourites sync, and
// tells the user what the sync must tell at once (data that fails
// authentication, a reset that needs a fresh start).

#include <gtkmm.h>

#include <memory>

#include "core/sync/favourites_sync_service.h"

namespace nuve::ui {

class AppContext;
class PersonalCentreWindow;

class AccountWindows {
 public:
  explicit AccountWindows(AppContext& context);
  ~AccountWindows();
  AccountWindows(const AccountWindows&) = delete;
  AccountWindows& operator=(const AccountWindows&) = delete;

  void OpenLogin(Gtk::Window* parent);
  void OpenRegister(Gtk::Window* parent);
  void OpenRecoverPassword(Gtk::Window* parent);
  void OpenPersonalCentre(Gtk::Window* parent);
  void OpenChangePassword(Gtk::Window* parent);
  // The feedback's title is the centre's account label at the moment of sending.
  void OpenFeedback(PersonalCentreWindow& centre);

 private:
  bool SendsInClear() const;
  void OnSyncStatus();

  AppContext& context_;
  // The window the sync's questions stand over: the one the login was opened from.
  Gtk::Window* owner_ = nullptr;
  int alerts_shown_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  core::FavouritesSyncService::Subscription sync_status_;
};

}  // namespace nuve::ui
