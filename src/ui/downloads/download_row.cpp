#include "ui/downloads/download_row.h"

#include "core/downloads/download_names.h"
#include "ui/app/shell_open.h"

namespace nuve::ui {

DownloadRow::DownloadRow(DownloadItem& item) : Gtk::Box(Gtk::Orientation::VERTICAL, 4), item_(item) {
  set_margin(8);
  name_.set_xalign(0);
  name_.set_ellipsize(Pango::EllipsizeMode::MIDDLE);
  name_.set_max_width_chars(40);
  status_.set_xalign(0);
  status_.add_css_class("dim-label");
  status_.set_wrap(true);
  status_.set_max_width_chars(40);
  cancel_.signal_clicked().connect([this] { item_.Cancel(); });
  open_.signal_clicked().connect([this] { ShellOpen(item_.final_path()); });
  open_folder_.signal_clicked().connect([this] { ShellOpen(item_.final_path().parent_path()); });
  buttons_.append(cancel_);
  buttons_.append(open_);
  buttons_.append(open_folder_);
  append(name_);
  append(progress_);
  append(status_);
  append(buttons_);
  item_.signal_changed().connect(sigc::mem_fun(*this, &DownloadRow::Update));
  Update();
}

void DownloadRow::Update() {
  name_.set_text(item_.DisplayName());
  progress_.set_fraction(item_.progress());
  using State = DownloadItem::State;
  const State state = item_.state();
  std::string text;
  switch (state) {
    case State::kStarting:
      text = "正在开始…";
      break;
    case State::kRunning:
      text = core::ByteSizeText(item_.received_bytes());
      if (item_.total_bytes() > 0) text += " / " + core::ByteSizeText(item_.total_bytes());
      text += "，" + core::SpeedText(item_.bytes_per_second());
      break;
    case State::kCompleted:
      text = "已完成，" + core::ByteSizeText(item_.received_bytes());
      break;
    case State::kCancelled:
      text = "已取消";
      break;
    case State::kFailed:
      text = "失败：" + item_.problem();
      break;
  }
  status_.set_text(text);
  progress_.set_visible(state == State::kStarting || state == State::kRunning);
  cancel_.set_visible(!item_.finished());
  open_.set_visible(state == State::kCompleted);
  open_folder_.set_visible(state == State::kCompleted);
}

}  // namespace nuve::ui
