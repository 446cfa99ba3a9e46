#include "ui/app/gtk_ui_host.h"

#include <algorithm>
#include <string>

#include "core/app/log.h"
#include "ui/app/accessible.h"

namespace nuve::ui {
namespace {

// GTK's own buttons are English and carry their mnemonic into the name a
// screen reader reads ("_OK OK"): ours say what they are, and only that.
void AddButton(Gtk::Dialog& dialog, const char* caption, Gtk::ResponseType response) {
  Gtk::Button* button = dialog.add_button(caption, response);
  button->set_use_underline(false);
  SetAccessibleLabel(*button, caption);
}

// Escape closes a window as its close button does, wherever the focus is
// in it. The key reaches the window's own widgets first, so an open
// popover or menu inside it still closes alone.
void CloseOnEscape(Gtk::Window& window) {
  auto keys = Gtk::ShortcutController::create();
  keys->add_shortcut(Gtk::Shortcut::create(Gtk::KeyvalTrigger::create(GDK_KEY_Escape, Gdk::ModifierType()),
                                           Gtk::NamedAction::create("window.close")));
  window.add_controller(keys);
}

}  // namespace

void GtkUiHost::ShowMessage(Gtk::Window* parent, std::string_view text, Gtk::MessageType type,
                            std::function<void(int)> on_response) {
  auto dialog = std::make_unique<Gtk::MessageDialog>(std::string(text), false, type, Gtk::ButtonsType::NONE, true);
  if (type == Gtk::MessageType::QUESTION) AddButton(*dialog, "取消", Gtk::ResponseType::CANCEL);
  AddButton(*dialog, "确定", Gtk::ResponseType::OK);
  dialog->set_default_response(Gtk::ResponseType::OK);
  if (parent != nullptr) dialog->set_transient_for(*parent);
  // Without hide-on-close, Escape would destroy the GtkWindow under the C++ object.
  dialog->set_hide_on_close(true);
  Gtk::MessageDialog* raw = dialog.get();
  raw->signal_response().connect([this, raw, on_response = std::move(on_response)](int response) {
    raw->set_visible(false);
    // The dialog is released from an idle callback: never inside its own signal.
    Glib::signal_idle().connect_once(scope_.Bind([this, raw] { Release(raw); }));
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
  ShowMessage(parent, text, Gtk::MessageType::INFO, {});
}

void GtkUiHost::Error(Gtk::Window* parent, std::string_view text, std::function<void()> on_closed) {
  ShowMessage(parent, text, Gtk::MessageType::ERROR, [on_closed = std::move(on_closed)](int) {
    if (on_closed) on_closed();
  });
}

void GtkUiHost::Confirm(Gtk::Window* parent, std::string_view text, std::function<void(bool)> on_answer) {
  ShowMessage(parent, text, Gtk::MessageType::QUESTION, [on_answer = std::move(on_answer)](int response) {
    if (on_answer) on_answer(response == Gtk::ResponseType::OK);
  });
}

void GtkUiHost::ShowModal(std::unique_ptr<Gtk::Window> window, Gtk::Window* parent, std::function<void()> on_closed) {
  if (!window) return;
  Gtk::Window* raw = window.get();
  if (parent != nullptr) raw->set_transient_for(*parent);
  raw->set_modal(true);
  raw->set_hide_on_close(true);
  CloseOnEscape(*raw);
  raw->signal_hide().connect([this, raw, on_closed = std::move(on_closed)] {
    Glib::signal_idle().connect_once(scope_.Bind([this, raw] { Release(raw); }));
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

void GtkUiHost::ChooseSaveFile(Gtk::Window* parent, std::string_view title, std::string_view accept,
                               const std::filesystem::path& folder, std::string_view name,
                               std::function<void(const std::filesystem::path&)> on_chosen) {
  auto chooser = Gtk::FileChooserNative::create(std::string(title), Gtk::FileChooser::Action::SAVE,
                                                std::string(accept), "取消");
  if (parent != nullptr) chooser->set_transient_for(*parent);
  chooser->set_modal(true);
  if (!folder.empty()) {
    try {
      chooser->set_current_folder(Gio::File::create_for_path(folder.string()));
    } catch (const Glib::Error& e) {
      core::LogWarning("save file", folder.string() + ": " + e.what());
    }
  }
  chooser->set_current_name(std::string(name));
  Gtk::FileChooserNative* raw = chooser.get();
  chooser->signal_response().connect([this, raw, on_chosen = std::move(on_chosen)](int response) {
    std::filesystem::path chosen;
    if (response == Gtk::ResponseType::ACCEPT) {
      if (auto file = raw->get_file()) chosen = file->get_path();
    }
    raw->hide();
    // Let go from an idle callback: never inside its own signal.
    Glib::signal_idle().connect_once(scope_.Bind([this, raw] {
      std::erase_if(choosers_, [raw](const auto& c) { return c.get() == raw; });
    }));
    try {
      if (on_chosen) on_chosen(chosen);
    } catch (const std::exception& e) {
      core::LogError("save file", e.what());
    }
  });
  chooser->show();
  choosers_.push_back(std::move(chooser));
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
