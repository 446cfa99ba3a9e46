#include "ui/downloads/downloads_popover.h"

#include "ui/app/accessible.h"

namespace nuve::ui {

DownloadsPopover::DownloadsPopover(DownloadManager& manager) {
  set_name("downloads-list");
  heading_.add_css_class("heading");
  heading_.set_xalign(0);
  list_.set_name("下载列表");
  list_.set_selection_mode(Gtk::SelectionMode::NONE);
  list_.set_placeholder(empty_);
  SetAccessibleLabel(list_, "下载列表");
  empty_.set_margin(12);
  scroller_.set_child(list_);
  scroller_.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
  scroller_.set_propagate_natural_height(true);
  scroller_.set_max_content_height(420);
  scroller_.set_min_content_width(360);
  box_.set_margin(6);
  box_.append(heading_);
  box_.append(scroller_);
  set_child(box_);
  for (const auto& item : manager.items()) OnAdded(*item);
  // The list outlives every popover; a slot of a popover dies with it.
  manager.signal_added().connect(sigc::mem_fun(*this, &DownloadsPopover::OnAdded));
  manager.signal_removed().connect(sigc::mem_fun(*this, &DownloadsPopover::OnRemoved));
}

void DownloadsPopover::OnRemoved(DownloadItem& item) {
  DownloadRow* row = RowOf(item);
  if (row == nullptr) return;
  // The list box row holding it goes, and the row with it.
  if (Gtk::Widget* list_row = row->get_parent()) list_.remove(*list_row);
}

void DownloadsPopover::OnAdded(DownloadItem& item) {
  // The list box owns the row (managed); the newest download stands first.
  list_.prepend(*Gtk::make_managed<DownloadRow>(item));
}

DownloadRow* DownloadsPopover::RowOf(const DownloadItem& item) {
  for (Gtk::Widget* child = list_.get_first_child(); child != nullptr; child = child->get_next_sibling()) {
    auto* list_row = dynamic_cast<Gtk::ListBoxRow*>(child);
    auto* row = list_row != nullptr ? dynamic_cast<DownloadRow*>(list_row->get_child()) : nullptr;
    if (row != nullptr && &row->item() == &item) return row;
  }
  return nullptr;
}

}  // namespace nuve::ui
