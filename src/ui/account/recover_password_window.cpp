#include "ui/account/recover_password_window.h"

#include "core/account/account_texts.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

RecoverPasswordWindow::RecoverPasswordWindow(core::TaskRunner& tasks, core::AccountClient& client,
                                             UiHost& ui_host, const std::string& contact)
    : requests_(tasks, client), ui_host_(ui_host) {
  prompt_.set_name("透明标签1");
  prompt_.set_xalign(0);
  account_entry_.set_name("编辑框1");
  send_button_.set_name("按钮1");
  notice_.set_name("透明标签2");
  notice_.set_text(core::RecoveryNotice(contact));
  notice_.set_wrap(true);
  notice_.set_max_width_chars(28);
  notice_.set_xalign(0);
  send_button_.set_hexpand(true);
  button_row_.append(send_button_);
  button_row_.append(busy_.spinner());
  layout_.append(prompt_);
  layout_.append(account_entry_);
  layout_.append(button_row_);
  layout_.append(notice_);
  set_default_widget(send_button_);
  account_entry_.set_activates_default(true);
  SetUpAccountWindow(*this, "找回密码", layout_);
  send_button_.signal_clicked().connect(sigc::mem_fun(*this, &RecoverPasswordWindow::OnSendClicked));
}

void RecoverPasswordWindow::OnSendClicked() {
  if (busy_.busy()) return;
  // The account is not checked: an empty one goes to the service too.
  const std::string account = account_entry_.get_text();
  busy_.Begin();
  requests_.Send([account](core::AccountClient& c) { return c.SendPasswordResetMail(account); },
                 [this](core::ApiResponse reply) {
                   busy_.End();
                   // The service's own words, when it has any; a failure
                   // without them still says so.
                   const std::string text = reply.IsSuccess() ? reply.Message() : core::FailureText(reply);
                   if (!text.empty()) ui_host_.Info(this, text);
                 });
}

}  // namespace nuve::ui
