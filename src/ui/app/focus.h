#pragma once
// Whether the keyboard focus is on a widget or inside it (an entry's focus
// sits on its inner text widget, not on the entry itself).

#include <gtkmm.h>

namespace nuve::ui {

inline bool HasFocusWithin(Gtk::Widget& widget) {
  GtkRoot* root = gtk_widget_get_root(widget.gobj());
  GtkWidget* focus = root != nullptr ? gtk_root_get_focus(root) : nullptr;
  return focus != nullptr && (focus == widget.gobj() || gtk_widget_is_ancestor(focus, widget.gobj()));
}

}  // namespace nuve::ui
