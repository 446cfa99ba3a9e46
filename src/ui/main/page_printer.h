#pragma once
// Printing a page: the print dialog is shown without a nested main loop
// (WebKit's own dialog call would run one), and the choice made there goes
// to WebKit's print operation.

#include <gtkmm.h>
#include <webkit/webkit.h>

namespace nuve::ui {

// Shows the print dialog over `parent` for `view`'s page and prints it when
// the user confirms. Nothing happens on cancel; a failure is logged.
void PrintPage(WebKitWebView* view, Gtk::Window* parent);

}  // namespace nuve::ui
