#include "ui/main/filter_update_offer_bar.h"

#include <string>

#include "core/content_blocking/content_blocking_settings.h"

namespace nuve::ui {
namespace {

// "EasyList、EasyList China 和 EasyPrivacy": the lists "开启" subscribes to.
std::string OfferedNames() {
  const auto& offered = core::OfferedFilterLists();
  std::string names;
  for (std::size_t i = 0; i < offered.size(); ++i) {
    if (i > 0) names += i + 1 == offered.size() ? " 和 " : "、";
    names += offered[i].name;
  }
  return names;
}

}  // namespace

FilterUpdateOfferBar::FilterUpdateOfferBar(ContentFilters& filters)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL, 8), filters_(filters) {
  set_name("filter-update-offer");
  add_css_class("toolbar");
  question_.set_name("filter-update-question");
  question_.set_xalign(0);
  detail_.set_text("将订阅 " + OfferedNames() + "，每 4 天从发布者的网站下载一次。");
  detail_.set_xalign(0);
  detail_.set_hexpand(true);
  detail_.set_wrap(true);
  detail_.add_css_class("dim-label");
  accept_.set_name("accept-filter-updates");
  accept_.add_css_class("suggested-action");
  decline_.set_name("decline-filter-updates");
  append(question_);
  append(detail_);
  append(accept_);
  append(decline_);
  accept_.signal_clicked().connect([this] { filters_.AcceptUpdateOffer(); });
  decline_.signal_clicked().connect([this] { filters_.DeclineUpdateOffer(); });
  // A slot of this bar: it goes with the bar.
  filters_.signal_changed().connect(sigc::mem_fun(*this, &FilterUpdateOfferBar::Follow));
  Follow();
}

void FilterUpdateOfferBar::Follow() { set_visible(!filters_.automatic_updates().has_value()); }

}  // namespace nuve::ui
