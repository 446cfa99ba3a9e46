#pragma once
// The bar under the navigation bar at the first start: "开启广告拦截规则自动
// 更新？" with "开启" and "不用了". NUVE contacts no outside address unasked,
// so the subscribed filter lists are downloaded only once the user said
// "开启". The bar shows while the question is unanswered, in every window,
// and goes from all of them once it is answered here, in another window or
// in the settings.

#include <gtkmm.h>

#include "ui/engine/content_filters.h"

namespace nuve::ui {

class FilterUpdateOfferBar : public Gtk::Box {
 public:
  explicit FilterUpdateOfferBar(ContentFilters& filters);

  Gtk::Button& accept_button() { return accept_; }
  Gtk::Button& decline_button() { return decline_; }

 private:
  void Follow();

  ContentFilters& filters_;
  Gtk::Label question_{"开启广告拦截规则自动更新？"};
  Gtk::Label detail_;
  Gtk::Button accept_{"开启"};
  Gtk::Button decline_{"不用了"};
};

}  // namespace nuve::ui
