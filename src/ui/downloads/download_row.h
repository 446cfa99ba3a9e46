#pragma once
// One row of the downloads list: name, progress, size and speed or outcome,
// and what can be done with it (cancel while it runs; open it or its folder
// once it is complete).

#include <gtkmm.h>

#include "ui/downloads/download_item.h"

namespace nuve::ui {

class DownloadRow : public Gtk::Box {
 public:
  explicit DownloadRow(DownloadItem& item);

  DownloadItem& item() { return item_; }
  Gtk::Label& status_label() { return status_; }
  Gtk::Button& cancel_button() { return cancel_; }
  Gtk::Button& open_button() { return open_; }
  Gtk::Button& open_folder_button() { return open_folder_; }

 private:
  void Update();

  DownloadItem& item_;
  Gtk::Label name_;
  Gtk::ProgressBar progress_;
  Gtk::Label status_;
  Gtk::Box buttons_{Gtk::Orientation::HORIZONTAL, 6};
  Gtk::Button cancel_{"取消"};
  Gtk::Button open_{"打开"};
  Gtk::Button open_folder_{"打开所在文件夹"};
};

}  // namespace nuve::ui
