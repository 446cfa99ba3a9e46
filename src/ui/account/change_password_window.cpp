#include "ui/account/change_password_window.h"

#include "core/account/account_texts.h"
#include "core/account/validation.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {
namespace {

// A password box with the button beside it that shows the password while
// the left mouse button is held on it and masks it again on release.
void SetUpPasswordRow(Gtk::Box& row, Gtk::Entry& entry, Gtk::Button& show) {
  MaskPassword(entry);
  entry.set_hexpand(true);
  LimitEntry(entry, 16);
  show.set_icon_name("view-reveal-symbolic");
  show.set_tooltip_text("按住显示密码");
  show.set_focusable(false);
  // In the capture phase, before the button's own gesture takes the press.
  auto hold = Gtk::GestureClick::create();
  hold->set_button(GDK_BUTTON_PRIMARY);
  hold->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  hold->signal_pressed().connect([&entry](int, double, double) { entry.set_visibility(true); });
  hold->signal_released().connect([&entry](int, double, double) { entry.set_visibility(false); });
  hold->signal_cancel().connect([&entry](Gdk::EventSequence*) { entry.set_visibility(false); });
  show.add_controller(hold);
  row.append(entry);
  row.append(show);
}

}  // namespace

ChangePasswordWindow::ChangePasswordWindow(core::TaskRunner& tasks, core::AccountClient& client,
                                           core::LoginState& state, core::RememberedLogin& remembered,
                                           UiHost& ui_host)
    : requests_(tasks, client), remembered_(remembered), ui_host_(ui_host) {
  Build();
  change_button_.signal_clicked().connect(sigc::mem_fun(*this, &ChangePasswordWindow::OnChangeClicked));
  // The account typed at the last login attempt, when logged in.
  if (state.IsLoggedIn()) account_entry_.set_text(remembered_.LastTypedAccount());
}

void ChangePasswordWindow::Build() {
  account_label_.set_name("透明标签1");
  account_entry_.set_name("编辑框1");
  LimitEntry(account_entry_, 10, true);
  old_label_.set_name("透明标签2");
  old_entry_.set_name("修改密码旧密码");
  new_label_.set_name("透明标签3");
  new_entry_.set_name("修改密码新密码");
  show_old_.set_name("图形按钮1");
  show_new_.set_name("图形按钮2");
  change_button_.set_name("按钮1");
  SetUpPasswordRow(old_row_, old_entry_, show_old_);
  SetUpPasswordRow(new_row_, new_entry_, show_new_);

  form_.set_row_spacing(8);
  form_.set_column_spacing(8);
  AddFormRow(form_, 0, account_label_, account_entry_);
  AddFormRow(form_, 1, old_label_, old_row_);
  AddFormRow(form_, 2, new_label_, new_row_);
  change_button_.set_hexpand(true);
  button_row_.append(change_button_);
  button_row_.append(busy_.spinner());
  layout_.append(form_);
  layout_.append(button_row_);
  SetUpAccountWindow(*this, "修改密码", layout_);
}

void ChangePasswordWindow::OnChangeClicked() {
  if (busy_.busy()) return;
  const std::string account = account_entry_.get_text();
  const std::string old_password = old_entry_.get_text();
  const std::string new_password = new_entry_.get_text();
  if (const auto refusal = core::CheckPasswordChange(account, old_password, new_password)) {
    ui_host_.Info(this, *refusal);
    return;
  }
  busy_.Begin();
  requests_.Send(
      [account, old_password, new_password](core::AccountClient& c) {
        return c.ChangePassword(account, old_password, new_password);
      },
      [this, account, new_password](core::ApiResponse reply) {
        busy_.End();
        if (!reply.IsSuccess()) {
          ui_host_.Info(this, core::FailureText(reply));
          return;
        }
        // The next automatic login must not send the old password.
        remembered_.PasswordChangedOnService(account, new_password);
        changed_.emit(account, new_password);
        ui_host_.Info(this, "修改成功！请注意密码信息保密，勿透露给他人，由此造成的损失自负！");
      });
}

}  // namespace nuve::ui
