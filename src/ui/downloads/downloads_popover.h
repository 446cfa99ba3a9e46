#pragma once
// The downloads list, a popover under the navigation bar's download button:
// one row per download of this run, newest first. Every window has one, all
// showing the same list.

#include <gtkmm.h>

#include "ui/downloads/download_manager.h"
#include "ui/downloads/download_row.h"

namespace nuve::ui {

class DownloadsPopover : public Gtk::Popover {
 public:
  explicit DownloadsPopover(DownloadManager& manager);

  Gtk::ListBox& list() { return list_; }
  // The row of `item`; null when there is none.
  DownloadRow* RowOf(const DownloadItem& item);

 private:
  void OnAdded(DownloadItem& item);
  void OnRemoved(DownloadItem& item);

  Gtk::Box box_{Gtk::Orientation::VERTICAL, 6};
  Gtk::Label heading_{"下载"};
  Gtk::ScrolledWindow scroller_;
  Gtk::ListBox list_;
  Gtk::Label empty_{"没有下载"};
};

}  // namespace nuve::ui
