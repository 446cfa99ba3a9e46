#pragma once
// "注册": a new account's fields with their input limits and hints,
// "获取验证码" with its sixty-second countdown in the button's caption, the
// avatar ("上传头像": a PNG, JPEG or GIF of at most 2 MiB) and "注册". The
// requests run off the user-interface thread; the countdown is a GLib timer
// that stops with the window.

#include <gtkmm.h>

#include <chrono>
#include <string>

#include "core/account/account_requests.h"
#include "core/account/account_texts.h"
#include "core/account/validation.h"
#include "ui/account/account_widgets.h"

namespace nuve::ui {

class UiHost;

class RegisterWindow : public Gtk::Window {
 public:
  RegisterWindow(core::TaskRunner& tasks, core::AccountClient& client, UiHost& ui_host, bool sends_in_clear);
  ~RegisterWindow() override;

  // Reads the picture file at `path` (off this thread), checks it and shows
  // it as the avatar; "上传头像" calls it with the file the user picked.
  void LoadAvatar(const std::string& path);
  // The countdown's step; tests shorten it.
  void SetCountdownInterval(std::chrono::milliseconds interval) { countdown_interval_ = interval; }

 private:
  void Build(bool sends_in_clear);
  void OnCodeClicked();
  bool OnCountdownTick();
  void OnRegisterClicked();
  void OnUploadClicked();
  void OnAvatarRead(const std::string& bytes_or_empty, const std::string& refusal);
  core::RegisterForm Form() const;

  core::AccountRequests requests_;
  UiHost& ui_host_;

  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 10};
  Gtk::Grid form_;
  Gtk::Label name_label_{"昵称/姓名"};
  Gtk::Entry name_entry_;
  Gtk::Label account_label_{"帐号"};
  Gtk::Entry account_entry_;
  Gtk::Label email_label_{"邮箱"};
  Gtk::Entry email_entry_;
  Gtk::Label code_label_{"验证码"};
  Gtk::Box code_row_{Gtk::Orientation::HORIZONTAL, 6};
  Gtk::Entry code_entry_;
  Gtk::Button code_button_{core::kCodeButtonCaption};
  // The code button's room: as wide as its widest countdown caption, which a
  // button never shown measures, so that the window keeps its size while
  // the caption changes.
  Gtk::Stack code_button_room_;
  Gtk::Button code_button_sizer_;
  Gtk::Label password_label_{"密码"};
  Gtk::Entry password_entry_;
  Gtk::Label confirmation_label_{"确认密码"};
  Gtk::Entry confirmation_entry_;
  Gtk::Label phone_label_{"手机号码"};
  Gtk::Entry phone_entry_;
  Gtk::Label avatar_label_{"头像"};
  Gtk::Box avatar_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Image avatar_;
  Gtk::Button upload_button_{"上传头像"};
  Gtk::Box button_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button register_button_{"注册"};
  Gtk::Label clear_notice_;
  BusyState busy_{{&register_button_, &upload_button_}};

  std::string avatar_bytes_;
  core::CodeCountdown countdown_;
  std::chrono::milliseconds countdown_interval_{1000};
  sigc::connection countdown_timer_;
  Glib::RefPtr<Gtk::FileChooserNative> chooser_;
};

}  // namespace nuve::ui
