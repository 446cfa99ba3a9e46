#include "ui/favourites/favourites_panel.h"

namespace nuve::ui {

FavouritesPanel::FavouritesPanel() : Gtk::Box(Gtk::Orientation::VERTICAL) {
  set_size_request(208, -1);
  set_halign(Gtk::Align::START);
  add_css_class("background");
  title_.set_hexpand(true);
  title_.set_xalign(0);
  title_.set_margin_start(6);
  hide_button_.set_name("超级按钮1");
  hide_button_.set_icon_name("window-close-symbolic");
  hide_button_.set_has_frame(false);
  hide_button_.set_tooltip_text("隐藏收藏夹");
  hide_button_.signal_clicked().connect([this] { set_visible(false); });
  header_.append(title_);
  header_.append(hide_button_);
  list_.set_name("超级列表框1");
  scroller_.set_child(list_);
  scroller_.set_vexpand(true);
  append(header_);
  append(scroller_);
  set_visible(false);
}

}  // namespace nuve::ui
