#include "ui/account/feedback_window.h"

#include "core/account/account_texts.h"
#include "core/account/validation.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {

FeedbackWindow::FeedbackWindow(core::TaskRunner& tasks, core::AccountClient& client, UiHost& ui_host,
                               std::function<std::string()> title_source)
    : requests_(tasks, client), ui_host_(ui_host), title_source_(std::move(title_source)) {
  Build();
  send_button_.signal_clicked().connect(sigc::mem_fun(*this, &FeedbackWindow::OnSendClicked));
  cancel_button_.signal_clicked().connect([this] { close(); });
  content_.get_buffer()->signal_changed().connect(sigc::mem_fun(*this, &FeedbackWindow::KeepWithinLimit));
}

void FeedbackWindow::Build() {
  prompt_.set_name("透明标签1");
  prompt_.set_xalign(0);
  content_.set_name("编辑框1");
  content_.set_wrap_mode(Gtk::WrapMode::WORD_CHAR);
  scroller_.set_child(content_);
  scroller_.set_size_request(320, 140);
  scroller_.set_has_frame(true);
  hint_.set_name("透明标签2");
  hint_.set_xalign(0);
  send_button_.set_name("发送");
  cancel_button_.set_name("取消");
  button_row_.set_halign(Gtk::Align::END);
  button_row_.append(busy_.spinner());
  button_row_.append(send_button_);
  button_row_.append(cancel_button_);
  layout_.append(prompt_);
  layout_.append(scroller_);
  layout_.append(hint_);
  layout_.append(button_row_);
  SetUpAccountWindow(*this, "反馈", layout_);
}

// Whatever arrives (typing, pasting), the box keeps its first 200 characters.
void FeedbackWindow::KeepWithinLimit() {
  auto buffer = content_.get_buffer();
  if (buffer->get_char_count() <= static_cast<int>(core::kMaxFeedbackCharacters)) return;
  buffer->erase(buffer->get_iter_at_offset(static_cast<int>(core::kMaxFeedbackCharacters)), buffer->end());
}

void FeedbackWindow::OnSendClicked() {
  if (busy_.busy()) return;
  const std::string content = content_.get_buffer()->get_text();
  if (const auto refusal = core::CheckFeedback(content)) {
    ui_host_.Info(this, *refusal);
    return;
  }
  const std::string title = title_source_ ? title_source_() : std::string();
  busy_.Begin();
  requests_.Send([title, content](core::AccountClient& c) { return c.SendFeedback(title, content); },
                 [this](core::ApiResponse reply) {
                   busy_.End();
                   // The window stays open and keeps the text.
                   ui_host_.Info(this, reply.IsSuccess() ? std::string("发送反馈成功！") : core::FailureText(reply));
                 });
}

}  // namespace nuve::ui
