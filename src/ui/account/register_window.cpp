#include "ui/account/register_window.h"

#include <fstream>
#include <iterator>

#include "core/app/log.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {
namespace {

// The file's bytes, but never more than one byte past the avatar limit: a
// larger file is refused anyway and need not be read whole.
std::string ReadPictureFile(const std::string& path, bool& readable) {
  std::ifstream in(path, std::ios::binary);
  readable = static_cast<bool>(in);
  std::string bytes(core::kMaxAvatarBytes + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

}  // namespace

RegisterWindow::RegisterWindow(core::TaskRunner& tasks, core::AccountClient& client, UiHost& ui_host,
                               bool sends_in_clear)
    : requests_(tasks, client), ui_host_(ui_host) {
  Build(sends_in_clear);
  code_button_.signal_clicked().connect(sigc::mem_fun(*this, &RegisterWindow::OnCodeClicked));
  register_button_.signal_clicked().connect(sigc::mem_fun(*this, &RegisterWindow::OnRegisterClicked));
  upload_button_.signal_clicked().connect(sigc::mem_fun(*this, &RegisterWindow::OnUploadClicked));
}

RegisterWindow::~RegisterWindow() { countdown_timer_.disconnect(); }

void RegisterWindow::Build(bool sends_in_clear) {
  name_entry_.set_name("昵称");
  account_entry_.set_name("帐号");
  account_entry_.set_placeholder_text("8~10位纯数字");
  LimitEntry(account_entry_, 10, true);
  email_entry_.set_name("邮箱");
  email_entry_.set_input_purpose(Gtk::InputPurpose::EMAIL);
  code_entry_.set_name("验证码");
  code_entry_.set_placeholder_text("四位数字验证码");
  LimitEntry(code_entry_, 4, true);
  code_button_.set_name("按钮2");
  password_entry_.set_name("密码");
  MaskPassword(password_entry_);
  LimitEntry(password_entry_, 16);
  confirmation_entry_.set_name("确认密码");
  MaskPassword(confirmation_entry_);
  LimitEntry(confirmation_entry_, 16);
  phone_entry_.set_name("手机号码");
  LimitEntry(phone_entry_, 11, true);
  avatar_.set_name("图片框1");
  ShowDefaultAvatar(avatar_);
  upload_button_.set_name("按钮3");
  register_button_.set_name("按钮1");

  form_.set_row_spacing(8);
  form_.set_column_spacing(8);
  code_entry_.set_hexpand(true);
  code_row_.append(code_entry_);
  // Two digits are the widest the countdown shows.
  code_button_sizer_.set_label(core::CountdownCaption(core::CodeCountdown::kSeconds - 1));
  code_button_sizer_.set_can_focus(false);
  code_button_sizer_.set_can_target(false);
  gtk_accessible_update_state(GTK_ACCESSIBLE(code_button_sizer_.gobj()), GTK_ACCESSIBLE_STATE_HIDDEN, TRUE, -1);
  code_button_room_.set_hhomogeneous(true);
  code_button_room_.add(code_button_sizer_);
  code_button_room_.add(code_button_);
  code_button_room_.set_visible_child(code_button_);
  code_row_.append(code_button_room_);
  avatar_row_.append(avatar_);
  avatar_row_.append(upload_button_);
  upload_button_.set_valign(Gtk::Align::CENTER);
  int row = 0;
  AddFormRow(form_, row++, name_label_, name_entry_);
  AddFormRow(form_, row++, account_label_, account_entry_);
  AddFormRow(form_, row++, email_label_, email_entry_);
  AddFormRow(form_, row++, code_label_, code_row_);
  AddFormRow(form_, row++, password_label_, password_entry_);
  AddFormRow(form_, row++, confirmation_label_, confirmation_entry_);
  AddFormRow(form_, row++, phone_label_, phone_entry_);
  AddFormRow(form_, row++, avatar_label_, avatar_row_);
  register_button_.set_hexpand(true);
  button_row_.append(register_button_);
  button_row_.append(busy_.spinner());
  layout_.append(form_);
  layout_.append(button_row_);
  if (sends_in_clear) AddUnencryptedNotice(layout_, clear_notice_);
  SetUpAccountWindow(*this, "注册", layout_);
}

void RegisterWindow::OnCodeClicked() {
  const std::string email = email_entry_.get_text();
  if (const auto refusal = core::CheckCodeMailAddress(email)) {
    ui_host_.Info(this, *refusal);
    return;
  }
  // The countdown runs while the request is under way and afterwards,
  // whatever the reply: the button cannot be pressed again for 60 seconds.
  code_button_.set_sensitive(false);
  code_button_.set_label(countdown_.Start());
  countdown_timer_.disconnect();
  countdown_timer_ = Glib::signal_timeout().connect(sigc::mem_fun(*this, &RegisterWindow::OnCountdownTick),
                                                    static_cast<unsigned>(countdown_interval_.count()));
  requests_.Send([email](core::AccountClient& c) { return c.SendRegisterCodeMail(email); },
                 [this](core::ApiResponse reply) {
                   if (!reply.IsSuccess()) ui_host_.Info(this, core::FailureText(reply));
                 });
}

bool RegisterWindow::OnCountdownTick() {
  code_button_.set_label(countdown_.Tick());
  if (countdown_.running()) return true;
  code_button_.set_sensitive(true);
  return false;
}

core::RegisterForm RegisterWindow::Form() const {
  core::RegisterForm form;
  form.name = name_entry_.get_text();
  form.account = account_entry_.get_text();
  form.email = email_entry_.get_text();
  form.code = code_entry_.get_text();
  form.password = password_entry_.get_text();
  form.confirmation = confirmation_entry_.get_text();
  form.phone = phone_entry_.get_text();
  return form;
}

void RegisterWindow::OnRegisterClicked() {
  if (busy_.busy()) return;
  const core::RegisterForm form = Form();
  if (const auto refusal = core::CheckRegisterForm(form)) {
    ui_host_.Info(this, *refusal);
    return;
  }
  core::RegisterFields fields;
  fields.email = form.email;
  fields.code = form.code;
  if (!form.name.empty()) fields.name = form.name;
  if (!form.phone.empty()) fields.phone = form.phone;
  fields.head_img = avatar_bytes_;
  busy_.Begin();
  requests_.Send(
      [account = form.account, password = form.password, fields](core::AccountClient& c) {
        return c.Register(account, password, fields);
      },
      [this](core::ApiResponse reply) {
        busy_.End();
        ui_host_.Info(this, reply.IsSuccess() ? std::string("注册成功！") : core::FailureText(reply));
      });
}

void RegisterWindow::OnUploadClicked() {
  chooser_ = Gtk::FileChooserNative::create("选择头像", *this, Gtk::FileChooser::Action::OPEN, "打开", "取消");
  auto filter = Gtk::FileFilter::create();
  filter->set_name("图片（PNG、JPEG、GIF）");
  filter->add_mime_type("image/png");
  filter->add_mime_type("image/jpeg");
  filter->add_mime_type("image/gif");
  chooser_->add_filter(filter);
  chooser_->signal_response().connect([this](int response) {
    if (response == static_cast<int>(Gtk::ResponseType::ACCEPT)) {
      if (auto file = chooser_->get_file()) LoadAvatar(file->get_path());
    }
    chooser_.reset();
  });
  chooser_->show();
}

void RegisterWindow::LoadAvatar(const std::string& path) {
  struct Read {
    std::string bytes;
    std::string refusal;
  };
  busy_.Begin();
  requests_.Run<Read>(
      [path](std::stop_token) {
        bool readable = false;
        Read read;
        read.bytes = ReadPictureFile(path, readable);
        if (!readable) {
          read.refusal = "无法读取所选的图片！";
        } else if (const auto refusal = core::CheckAvatarImage(read.bytes)) {
          read.refusal = *refusal;
        }
        return read;
      },
      [this](Read read) { OnAvatarRead(read.bytes, read.refusal); });
}

void RegisterWindow::OnAvatarRead(const std::string& bytes, const std::string& refusal) {
  busy_.End();
  Glib::RefPtr<Gdk::Texture> picture = refusal.empty() ? DecodePicture(bytes, 96) : nullptr;
  if (!picture) {
    ui_host_.Info(this, refusal.empty() ? "无法读取所选的图片！" : refusal);
    return;
  }
  avatar_bytes_ = bytes;
  avatar_.set(picture);
}

}  // namespace nuve::ui
