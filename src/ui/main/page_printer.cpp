#include "ui/main/page_printer.h"

#include <gtk/gtkunixprint.h>

#include "core/app/log.h"

namespace nuve::ui {
namespace {

void PrintFailedCb(WebKitPrintOperation*, GError* error, gpointer) noexcept {
  core::LogWarning("print", error != nullptr ? error->message : "failed");
}

void PrintFinishedCb(WebKitPrintOperation* operation, gpointer) noexcept { g_object_unref(operation); }

void DialogResponseCb(GtkDialog* dialog, int response, gpointer data) noexcept {
  auto* operation = static_cast<WebKitPrintOperation*>(data);
  auto* print_dialog = GTK_PRINT_UNIX_DIALOG(dialog);
  if (response == GTK_RESPONSE_OK) {
    GtkPrintSettings* settings = gtk_print_unix_dialog_get_settings(print_dialog);
    if (GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(print_dialog)) {
      gtk_print_settings_set_printer(settings, gtk_printer_get_name(printer));
    }
    webkit_print_operation_set_print_settings(operation, settings);
    webkit_print_operation_set_page_setup(operation, gtk_print_unix_dialog_get_page_setup(print_dialog));
    g_object_unref(settings);
    // The operation lets go of itself once the job is handed over or failed.
    g_signal_connect(operation, "failed", G_CALLBACK(PrintFailedCb), nullptr);
    g_signal_connect(operation, "finished", G_CALLBACK(PrintFinishedCb), nullptr);
    webkit_print_operation_print(operation);
  } else {
    g_object_unref(operation);
  }
  gtk_window_destroy(GTK_WINDOW(dialog));
}

}  // namespace

void PrintPage(WebKitWebView* view, Gtk::Window* parent) {
  GtkWidget* dialog = gtk_print_unix_dialog_new("打印", parent != nullptr ? parent->gobj() : nullptr);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_print_unix_dialog_set_embed_page_setup(GTK_PRINT_UNIX_DIALOG(dialog), TRUE);
  WebKitPrintOperation* operation = webkit_print_operation_new(view);
  g_signal_connect(dialog, "response", G_CALLBACK(DialogResponseCb), operation);
  gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace nuve::ui
