#pragma once
// A tab's header in the strip: the site icon (a turning icon while the page
// loads), the caption, a speaker while the page plays sound or is muted
// (a click on it mutes or unmutes the tab) and the close button.

#include <gtkmm.h>

#include <string>

namespace nuve::ui {

class TabHeader : public Gtk::Box {
 public:
  TabHeader();

  // The caption for the page's title, and a tooltip with the title and the address.
  void SetTitle(const std::string& title, const std::string& uri);
  // The turning icon while loading, the site icon (or the default page
  // icon when `favicon` is null) otherwise.
  void SetLoading(bool loading);
  void SetFavicon(GdkTexture* favicon);
  void SetCloseButtonVisible(bool visible) { close_button_.set_visible(visible); }
  // The speaker: shown while `playing` or `muted`, crossed out when muted.
  void SetAudio(bool playing, bool muted);

  Gtk::Label& caption() { return caption_; }
  Gtk::Button& close_button() { return close_button_; }
  Gtk::Button& audio_button() { return audio_button_; }

  sigc::signal<void()>& signal_close_clicked() { return close_clicked_; }
  // The speaker was clicked: the tab's sound is to be turned on or off.
  sigc::signal<void()>& signal_mute_clicked() { return mute_clicked_; }

 private:
  void ShowIcon();

  Gtk::Image icon_;
  Gtk::Label caption_;
  Gtk::Button audio_button_;
  Gtk::Button close_button_;
  bool loading_ = false;
  // The site icon, kept for when the load ends.
  Glib::RefPtr<Gdk::Paintable> favicon_;
  sigc::signal<void()> close_clicked_;
  sigc::signal<void()> mute_clicked_;
  bool muted_ = false;
};

}  // namespace nuve::ui
