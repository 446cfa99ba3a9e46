#include "ui/account/personal_centre_window.h"

#include "core/account/account_texts.h"
#include "core/account/record_reader.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

PersonalCentreWindow::PersonalCentreWindow(core::TaskRunner& tasks, core::AccountClient& client,
                                           core::LoginState& state, core::UserInfo& current_user,
                                           core::ReadUrlOptions picture_options, UiHost& ui_host)
    : requests_(tasks, client, std::move(picture_options)),
      state_(state),
      current_user_(current_user),
      ui_host_(ui_host) {
  Build();
  edit_button_.signal_clicked().connect([this] { ui_host_.Info(this, "内测期间暂不支持修改资料！"); });
  password_button_.signal_clicked().connect(
      [this] { WhenLoggedIn(change_password_requested_, "请登陆后再进行该操作！"); });
  feedback_button_.signal_clicked().connect(
      [this] { WhenLoggedIn(feedback_requested_, "请登录后再进行该操作！"); });
  // The profile is asked for at every opening, logged in or not; only a
  // logged-in window shows it.
  busy_.Begin();
  requests_.Send([](core::AccountClient& c) { return c.GetInfo(); },
                 [this](core::ApiResponse reply) { OnInfoReply(reply); });
}

void PersonalCentreWindow::Build() {
  avatar_.set_name("图片框1");
  ShowDefaultAvatar(avatar_);
  nickname_.set_name("用户昵称");
  id_.set_name("用户ID");
  account_.set_name("用户帐号");
  email_.set_name("注册邮箱");
  regist_time_.set_name("注册时间");
  login_time_.set_name("上次登录时间");
  login_address_.set_name("上次登录地址");
  status_caption_.set_name("透明标签3");
  status_.set_name("帐号状态");
  edit_button_.set_name("按钮1");
  password_button_.set_name("按钮2");
  feedback_button_.set_name("按钮3");

  for (Gtk::Label* label : {&nickname_, &id_, &account_, &email_, &regist_time_, &login_time_, &login_address_}) {
    label->set_xalign(0);
    label->set_selectable(true);
    details_.append(*label);
  }
  status_row_.append(status_caption_);
  status_row_.append(status_);
  status_row_.append(busy_.spinner());
  details_.append(status_row_);
  avatar_.set_valign(Gtk::Align::START);
  top_.append(avatar_);
  top_.append(details_);
  buttons_.set_homogeneous(true);
  buttons_.append(edit_button_);
  buttons_.append(password_button_);
  buttons_.append(feedback_button_);
  layout_.append(top_);
  layout_.append(buttons_);
  SetUpAccountWindow(*this, "个人中心", layout_);
}

void PersonalCentreWindow::OnInfoReply(const core::ApiResponse& reply) {
  busy_.End();
  // Logged in or not is login.ini's word, not the service's.
  if (!state_.IsLoggedIn()) {
    ShowColoured(status_, core::AccountStatus(false, false));
    return;
  }
  // The reply's success is not examined: a failed reply gives an empty
  // profile, shown as empty texts and zeros with the default picture.
  current_user_ = core::RecordReader().MakeUserInfo(reply.ResponseBody());
  const core::ProfileTexts texts = core::MakeProfileTexts(current_user_);
  id_.set_text(texts.id);
  account_.set_text(texts.account);
  if (const std::string url = current_user_.HeadUrl(); !url.empty()) {
    requests_.FetchPicture(url, [this](std::string bytes) { OnAvatar(bytes); });
  }
  email_.set_text(texts.email);
  regist_time_.set_text(texts.regist_time);
  login_time_.set_text(texts.login_time);
  login_address_.set_text(texts.login_address);
  ShowColoured(status_, core::AccountStatus(true, current_user_.IsAccountNormal()));
}

void PersonalCentreWindow::OnAvatar(const std::string& bytes) {
  // A picture that cannot be shown leaves the default one.
  if (auto picture = DecodePicture(bytes, 96)) avatar_.set(picture);
}

void PersonalCentreWindow::WhenLoggedIn(sigc::signal<void()>& signal, const char* refusal) {
  if (state_.IsLoggedIn()) {
    signal.emit();
  } else {
    ui_host_.Info(this, refusal);
  }
}

}  // namespace nuve::ui
