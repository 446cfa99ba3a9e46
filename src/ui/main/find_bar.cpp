#include "ui/main/find_bar.h"

#include <glib.h>

#include "ui/app/accessible.h"
#include "ui/app/guard.h"

namespace nuve::ui {
namespace {

constexpr guint32 kOptions = WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;
constexpr guint kMaxMatches = 1000;

}  // namespace

struct FindBarCallbacks {
  static void CountedCb(WebKitFindController*, guint count, gpointer self) noexcept {
    Guard("counted-matches", [&] { static_cast<FindBar*>(self)->ShowCount(count); });
  }
  static void FailedCb(WebKitFindController*, gpointer self) noexcept {
    Guard("failed-to-find-text", [&] { static_cast<FindBar*>(self)->ShowCount(0); });
  }
};

FindBar::FindBar(WebKitWebView* view)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL, 6), view_(view), finder_(webkit_web_view_get_find_controller(view)) {
  set_name("find-bar");
  set_margin(4);
  entry_.set_name("find-entry");
  // gtkmm 4.8 sends this to GtkEntry, which a search entry is not: set the property.
  entry_.set_property("placeholder-text", Glib::ustring("在页面中查找"));
  entry_.set_hexpand(true);
  SetAccessibleLabel(entry_, "在页面中查找");
  result_.set_name("find-result");
  result_.set_width_chars(10);
  SetIconButton(previous_, "go-up-symbolic", "上一个");
  SetIconButton(next_, "go-down-symbolic", "下一个");
  SetIconButton(close_, "window-close-symbolic", "关闭查找栏");
  for (Gtk::Button* b : {&previous_, &next_, &close_}) b->set_has_frame(false);
  append(entry_);
  append(result_);
  append(previous_);
  append(next_);
  append(close_);
  set_visible(false);

  entry_.signal_search_changed().connect(sigc::mem_fun(*this, &FindBar::Search));
  previous_.signal_clicked().connect(sigc::mem_fun(*this, &FindBar::FindPrevious));
  next_.signal_clicked().connect(sigc::mem_fun(*this, &FindBar::FindNext));
  close_.signal_clicked().connect(sigc::mem_fun(*this, &FindBar::Close));
  auto keys = Gtk::EventControllerKey::create();
  keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  keys->signal_key_pressed().connect(sigc::mem_fun(*this, &FindBar::OnKeyPressed), false);
  entry_.add_controller(keys);

  using C = FindBarCallbacks;
  connections_.emplace_back(finder_, "counted-matches", G_CALLBACK(C::CountedCb), this);
  connections_.emplace_back(finder_, "failed-to-find-text", G_CALLBACK(C::FailedCb), this);
}

FindBar::~FindBar() { connections_.clear(); }

void FindBar::Open() {
  set_visible(true);
  entry_.grab_focus();
  entry_.select_region(0, -1);
  if (!entry_.get_text().empty()) Search();
}

void FindBar::Close() {
  set_visible(false);
  webkit_find_controller_search_finish(finder_);
  result_.set_text("");
  gtk_widget_grab_focus(GTK_WIDGET(view_));
}

void FindBar::Search() {
  const std::string text = entry_.get_text();
  if (text.empty()) {
    webkit_find_controller_search_finish(finder_);
    result_.set_text("");
    entry_.remove_css_class("error");
    return;
  }
  webkit_find_controller_search(finder_, text.c_str(), kOptions, kMaxMatches);
  webkit_find_controller_count_matches(finder_, text.c_str(), kOptions, kMaxMatches);
}

void FindBar::FindNext() {
  if (!entry_.get_text().empty()) webkit_find_controller_search_next(finder_);
}

void FindBar::FindPrevious() {
  if (!entry_.get_text().empty()) webkit_find_controller_search_previous(finder_);
}

void FindBar::ShowCount(unsigned count) {
  if (entry_.get_text().empty()) return;
  if (count == 0) {
    result_.set_text("无匹配");
    entry_.add_css_class("error");
  } else {
    result_.set_text(std::to_string(count) + " 个匹配");
    entry_.remove_css_class("error");
  }
  result_changed_.emit();
}

bool FindBar::OnKeyPressed(guint keyval, guint, Gdk::ModifierType state) {
  switch (keyval) {
    case GDK_KEY_Escape:
      Close();
      return true;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      if ((state & Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType::SHIFT_MASK) {
        FindPrevious();
      } else {
        FindNext();
      }
      return true;
    default:
      return false;
  }
}

}  // namespace nuve::ui
