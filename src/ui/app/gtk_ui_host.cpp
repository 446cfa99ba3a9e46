#include "ui/app/gtk_ui_host.h"

#include <algorithm>
#include <string>

#include "core/app/log.h"

namespace nuve::ui {

void GtkUiHost::ShowMessage(Gtk::Window* parent, std::string_view text, Gtk::MessageType type,
                            Gtk::ButtonsType buttons, std::function<void(int)> on_response) {
  auto dialog = std::make_unique<Gtk::MessageDialog>(std::string(text), false, type, buttons, true);
  if (parent != nullptr) dialog->set_transient_for(*parent);
  // Without hide-on-close, Escape would destroy the GtkWindow under the C++ object.
  dialog->set_hide_on_close(true);
  Gtk::MessageDialog* raw = dialog.get();
  raw->signal_response().connect([this, raw, on_response = std::move(on_response)](int response) {
    raw->set_visible(false);
    // The dialog is released from an idle callback: never inside its own signal.
    Glib::signal_idle().connect_once([this, raw] { Release(raw); });
    if (on_response) {
      try {
        on_response(response);
      } catch (const std::exception& e) {
        core::LogError("message box", e.what());
      }
    }
  });
  raw->present();
  open_.push_back(std::move(dialog));
}

void GtkUiHost::Info(Gtk::Window* parent, std::string_view text) {
  ShowMessage(parent, text, Gtk::MessageType::INFO, Gtk::ButtonsType::OK, {});
}

void GtkUiHost::Error(Gtk::Window* parent, std::string_view text, std::function<void()> on_closed) {
  ShowMessage(parent, text, Gtk::MessageType::ERROR, Gtk::ButtonsType::OK,
              [on_closed = std::move(on_closed)](int) {
                if (on_closed) on_closed();
              });
}

void GtkUiHost::Confirm(Gtk::Window* parent, std::string_view text,
                        std::function<void(bool)> on_answer) {
  ShowMessage(parent, text, Gtk::MessageType::QUESTION, Gtk::ButtonsType::OK_CANCEL,
              [on_answer = std::move(on_answer)](int response) {
                if (on_answer) on_answer(response == Gtk::ResponseType::OK);
              });
}

void GtkUiHost::ShowModal(std::unique_ptr<Gtk::Window> window, Gtk::Window* parent,
                          std::function<void()> on_closed) {
  if (!window) return;
  Gtk::Window* raw = window.get();
  if (parent != nullptr) raw->set_transient_for(*parent);
  raw->set_modal(true);
  raw->set_hide_on_close(true);
  raw->signal_hide().connect([this, raw, on_closed = std::move(on_closed)] {
    Glib::signal_idle().connect_once([this, raw] { Release(raw); });
    if (on_closed) {
      try {
        on_closed();
      } catch (const std::exception& e) {
        core::LogError("modal window", e.what());
      }
    }
  });
  raw->present();
  open_.push_back(std::move(window));
}

void GtkUiHost::OpenUri(std::string_view uri) {
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(std::string(uri).c_str(), nullptr, &error)) {
    core::LogWarning("open address", std::string(uri) + ": " + (error != nullptr ? error->message : "failed"));
    if (error != nullptr) g_error_free(error);
  }
}

void GtkUiHost::Release(Gtk::Window* window) {
  std::erase_if(open_, [window](const auto& w) { return w.get() == window; });
}

}  // namespace nuve::ui
