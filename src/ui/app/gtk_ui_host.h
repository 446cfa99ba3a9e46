#pragma once
// UiHost on real GTK dialogs.

#include <gtkmm.h>

#include <memory>
#include <vector>

#include "ui/app/ui_host.h"

namespace nuve::ui {

class GtkUiHost : public UiHost {
 public:
  void Info(Gtk::Window* parent, std::string_view text) override;
  void Error(Gtk::Window* parent, std::string_view text, std::function<void()> on_closed) override;
  void Confirm(Gtk::Window* parent, std::string_view text,
               std::function<void(bool accepted)> on_answer) override;
  void ShowModal(std::unique_ptr<Gtk::Window> window, Gtk::Window* parent,
                 std::function<void()> on_closed) override;
  void OpenUri(std::string_view uri) override;
  // Closes and frees every dialog and modal window still open (before what
  // they use goes away).
  void ReleaseAll() { open_.clear(); }

 private:
  void ShowMessage(Gtk::Window* parent, std::string_view text, Gtk::MessageType type,
                   Gtk::ButtonsType buttons, std::function<void(int response)> on_response);
  void Release(Gtk::Window* window);

  // Open dialogs and modal windows stay alive here until they close.
  std::vector<std::unique_ptr<Gtk::Window>> open_;
};

}  // namespace nuve::ui
