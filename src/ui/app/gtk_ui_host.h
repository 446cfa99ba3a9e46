#pragma once
// UiHost on real GTK dialogs.

#include <gtkmm.h>

#include <memory>
#include <vector>

#include "core/util/task_scope.h"
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
  void ChooseSaveFile(Gtk::Window* parent, std::string_view title, std::string_view accept,
                      const std::filesystem::path& folder, std::string_view name,
                      std::function<void(const std::filesystem::path&)> on_chosen) override;
  void OpenUri(std::string_view uri) override;
  // Closes and frees every dialog and modal window still open (before what
  // they use goes away).
  void ReleaseAll() {
    open_.clear();
    choosers_.clear();
  }

 private:
  // A message box with "确定", and "取消" before it for a question.
  void ShowMessage(Gtk::Window* parent, std::string_view text, Gtk::MessageType type,
                   std::function<void(int response)> on_response);
  void Release(Gtk::Window* window);

  // Open dialogs and modal windows stay alive here until they close.
  std::vector<std::unique_ptr<Gtk::Window>> open_;
  // Open file choosers, likewise.
  std::vector<Glib::RefPtr<Gtk::FileChooserNative>> choosers_;
  // The releases that wait for an idle moment end with the host.
  core::TaskScope scope_;
};

}  // namespace nuve::ui
