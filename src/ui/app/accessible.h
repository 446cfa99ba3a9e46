#pragma once
// Names that screen readers announce. Icon-only buttons have no text of
// their own: they get the same Chinese name as their tooltip.

#include <gtkmm.h>

#include <string>

namespace nuve::ui {

inline void SetAccessibleLabel(Gtk::Widget& widget, const std::string& label) {
  gtk_accessible_update_property(GTK_ACCESSIBLE(widget.gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL, label.c_str(), -1);
}

// An icon-only button: the icon, the tooltip and the same accessible name.
inline void SetIconButton(Gtk::Button& button, const char* icon, const std::string& name) {
  button.set_icon_name(icon);
  button.set_tooltip_text(name);
  SetAccessibleLabel(button, name);
}

}  // namespace nuve::ui
