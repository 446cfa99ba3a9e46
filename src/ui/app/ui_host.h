#pragma once
// Every message box and modal window of the program, and every address it
// hands to the desktop, goes through this one service, so that window tests
// can record them instead of showing them.

#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

namespace Gtk {
class Window;
}

namespace nuve::ui {

class UiHost {
 public:
  virtual ~UiHost() = default;
  // The information box: the text and a "确定" button; the answer is ignored.
  virtual void Info(Gtk::Window* parent, std::string_view text) = 0;
  // Like Info, for failures the user must hear about; `on_closed` runs once
  // the box is gone.
  virtual void Error(Gtk::Window* parent, std::string_view text,
                     std::function<void()> on_closed = {}) = 0;
  // A question with "取消" and "确定"; Escape answers as "取消" does.
  virtual void Confirm(Gtk::Window* parent, std::string_view text,
                       std::function<void(bool accepted)> on_answer) = 0;
  // Shows `window` modal over `parent` (or on its own when parent is null),
  // keeps it alive while it is open and runs `on_closed` when it closes;
  // Escape closes it as its close button does.
  virtual void ShowModal(std::unique_ptr<Gtk::Window> window, Gtk::Window* parent,
                         std::function<void()> on_closed = {}) = 0;
  // Asks where to save a file: the chooser opens in `folder` with `name`
  // proposed and `accept` on its button; `on_chosen` gets the path the user
  // chose, or an empty one when the user cancelled.
  virtual void ChooseSaveFile(Gtk::Window* parent, std::string_view title, std::string_view accept,
                              const std::filesystem::path& folder, std::string_view name,
                              std::function<void(const std::filesystem::path&)> on_chosen) = 0;
  // Opens `uri` in the desktop's default handler (a web page in the default
  // browser); a failure is logged.
  virtual void OpenUri(std::string_view uri) = 0;
};

}  // namespace nuve::ui
