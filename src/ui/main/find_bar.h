#pragma once
// Find in page (Ctrl+F): a bar under the page with the text to find, the
// number of matches or "无匹配", and previous/next. Enter finds the next
// match, Shift+Enter the previous one, Escape closes the bar.

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <vector>

#include "ui/main/g_signal_connection.h"

namespace nuve::ui {

struct FindBarCallbacks;

class FindBar : public Gtk::Box {
 public:
  explicit FindBar(WebKitWebView* view);
  ~FindBar() override;

  // Shows the bar with its text selected and the focus in it.
  void Open();
  // Hides the bar, ends the search and gives the focus back to the page.
  void Close();
  void FindNext();
  void FindPrevious();

  Gtk::SearchEntry& entry() { return entry_; }
  // "3 个匹配", "无匹配" or "".
  std::string ResultText() const { return result_.get_text(); }
  // The page's matches were counted (tests wait for this).
  sigc::signal<void()>& signal_result() { return result_changed_; }

 private:
  friend struct FindBarCallbacks;
  void Search();
  void ShowCount(unsigned count);
  bool OnKeyPressed(guint keyval, guint keycode, Gdk::ModifierType state);

  WebKitWebView* view_;
  WebKitFindController* finder_;
  std::vector<GSignalConnection> connections_;
  Gtk::SearchEntry entry_;
  Gtk::Label result_;
  Gtk::Button previous_;
  Gtk::Button next_;
  Gtk::Button close_;
  sigc::signal<void()> result_changed_;
};

}  // namespace nuve::ui
