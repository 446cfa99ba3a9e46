#pragma once
// "发现新版本": opened by the start-up check when another version is
// published. "下载更新" opens the download page and ends the program;
// "关闭程序" ends it. Closing the window itself lets the browser go on.

#include <gtkmm.h>

#include <functional>
#include <string>

namespace nuve::ui {

class UiHost;

class NewVersionWindow : public Gtk::Window {
 public:
  // `quit` ends the program (exit code 0).
  NewVersionWindow(std::string download_page, UiHost& ui_host, std::function<void()> quit);

 private:
  std::string download_page_;
  UiHost& ui_host_;
  std::function<void()> quit_;

  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 12};
  Gtk::Label notice_;
  Gtk::Box button_row_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button download_button_{"下载更新"};
  Gtk::Button quit_button_{"关闭程序"};
};

}  // namespace nuve::ui
