#pragma once
// A core header that reaches into the window layer, for the layering check.
#include <glib.h>
// #include <gtk/gtk.h> in a comment is no include
#include <gtkmm/window.h>
#include "core/util/status.h"
#include "ui/main/main_window.h"
  #  include <webkit/webkit.h>
