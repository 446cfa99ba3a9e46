#include "ui/passwords/username_chooser.h"

#include "ui/app/accessible.h"

namespace nuve::ui {

UsernameChooser::UsernameChooser() {
  set_name("password-chooser");
  set_has_arrow(false);
  set_position(Gtk::PositionType::BOTTOM);
  set_autohide(false);
  SetAccessibleLabel(*this, "已保存的帐号");
  list_.set_margin(4);
  set_child(list_);
}

void UsernameChooser::SetUsernames(const std::vector<std::string>& usernames) {
  while (Gtk::Widget* child = list_.get_first_child()) list_.remove(*child);
  for (std::size_t i = 0; i < usernames.size(); ++i) {
    auto* button = Gtk::make_managed<Gtk::Button>(usernames[i].empty() ? "（无用户名）" : usernames[i]);
    button->set_name("password-choice");
    button->add_css_class("flat");
    if (auto* label = dynamic_cast<Gtk::Label*>(button->get_child())) {
      label->set_xalign(0);
      label->set_ellipsize(Pango::EllipsizeMode::END);
      label->set_max_width_chars(40);
    }
    SetAccessibleLabel(*button, "填入帐号 " + (usernames[i].empty() ? std::string("（无用户名）") : usernames[i]));
    button->signal_clicked().connect([this, i] { chosen_.emit(i); });
    list_.append(*button);
  }
}

void UsernameChooser::FocusFirst() {
  if (Gtk::Widget* first = list_.get_first_child()) first->grab_focus();
}

}  // namespace nuve::ui
